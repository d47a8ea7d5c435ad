// SettingsLink: a settings path whose location is a symbolic link, as in the
// common "dotfiles repository" layout (~/.bashrc -> ~/dotfiles/bashrc, also
// folders and relative links). Such a link is followed when it leads to a
// file or folder inside the home folder that belongs to the user: that item's
// content is what a back-up copies and an install replaces, while the link
// stays as it is. A link that leads nowhere or round in a circle, out of the
// home folder (or to the home folder itself), to something that is neither a
// file nor a folder, or to another user's item is not followed: copying
// through it would carry what is not the user's settings, or write where the
// user did not mean to.
//
// Only the final component is looked at; links among the folders above a
// settings path are followed by the system as for any path. Links inside a
// settings folder are never followed: they are copied as links.
//
// Stateless; every function may be called from any thread.
#pragma once

#include <optional>
#include <stdexcept>

#include "keel/URL.h"

namespace quillfen {

class SettingsLink {
public:
    // Why a link at a settings path is not followed, as a sentence for the
    // user ("It is a symbolic link to ..., which does not exist.").
    class Refusal : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    SettingsLink() = delete;

    // Where the content of the settings item at `location` is: `location`
    // itself when it is not a symbolic link (or nothing is there); for a link
    // that is followed, the absolute location it leads to, every link on the
    // way resolved. Throws Refusal for a link that is not followed.
    static keel::URL contentLocation(const keel::URL& location);

    // The same without the reason: nothing for a link that is not followed.
    static std::optional<keel::URL> followedLocation(const keel::URL& location) noexcept;
};

}  // namespace quillfen
