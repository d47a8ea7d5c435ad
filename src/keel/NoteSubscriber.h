// NoteSubscriber: an observation of one notification center that lasts as long
// as the subscriber. Give it the names (and optionally an object) to watch and a
// block; the block runs for each matching notification until the subscriber is
// destroyed. Destroy it on the thread that owns the observing object.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "keel/NotificationCenter.h"

namespace keel {

class NoteSubscriber {
public:
    explicit NoteSubscriber(NotificationCenter& center = NotificationCenter::defaultCenter());
    ~NoteSubscriber();
    NoteSubscriber(const NoteSubscriber&) = delete;
    NoteSubscriber& operator=(const NoteSubscriber&) = delete;

    // Adds an observation of each of `names`. Can be called several times.
    void subscribe(std::initializer_list<std::string> names, const void* object,
                   NotificationCenter::Block block);
    void subscribe(const std::vector<std::string>& names, const void* object,
                   NotificationCenter::Block block);

    // Ends every observation now.
    void cancel();

private:
    NotificationCenter& center_;
    std::vector<NotificationCenter::Token> tokens_;
};

}  // namespace keel
