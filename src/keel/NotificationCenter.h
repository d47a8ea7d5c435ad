// NotificationCenter: delivers notifications to the observers registered for
// their name (and, optionally, their object). Posting is synchronous: every
// matching observer runs on the posting thread before `post` returns. To
// announce something on the main queue, post from a block given to
// `DispatchQueue::main()`.
//
// Thread safety: every member may be called from any thread. An observer may
// add or remove observers, and post, from inside its block. Removing an
// observer waits for nothing; a block that is already running finishes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "keel/Notification.h"

namespace keel {

class NotificationCenter {
public:
    using Block = std::function<void(const Notification&)>;
    using Token = std::uint64_t;

    // The process-wide center that every announcement of Quillfen goes through.
    static NotificationCenter& defaultCenter();

    // Observes notifications named `name`; with a non-null `object`, only those
    // posted by that object. Returns a token for `removeObserver`.
    Token addObserver(std::string name, const void* object, Block block);
    void removeObserver(Token token);

    void post(const Notification& notification);
    void post(std::string name, const void* object = nullptr,
              std::map<std::string, std::any> userInfo = {});

private:
    struct Entry {
        Token token;
        std::string name;
        const void* object;
        std::shared_ptr<Block> block;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
    Token nextToken_ = 1;
};

}  // namespace keel
