#include "keel/NotificationCenter.h"

#include <algorithm>

namespace keel {

NotificationCenter& NotificationCenter::defaultCenter() {
    // Never destroyed: other process-wide objects may still use it while the
    // program exits, whatever the order of their destruction.
    static NotificationCenter* center = new NotificationCenter();
    return *center;
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, const void* object,
                                                          Block block) {
    std::lock_guard lock(mutex_);
    const Token token = nextToken_++;
    entries_.push_back(
        Entry{token, std::move(name), object, std::make_shared<Block>(std::move(block))});
    return token;
}

void NotificationCenter::removeObserver(Token token) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [token](const Entry& e) { return e.token == token; });
}

void NotificationCenter::post(const Notification& notification) {
    // Take the matching blocks under the lock and run them outside it, so that
    // observers may add, remove and post freely.
    std::vector<std::pair<Token, std::shared_ptr<Block>>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const Entry& e : entries_) {
            if (e.name == notification.name &&
                (e.object == nullptr || e.object == notification.object))
                matching.emplace_back(e.token, e.block);
        }
    }
    for (const auto& [token, block] : matching) {
        bool stillObserving;
        {
            // An observer removed by an earlier block of this same post is skipped.
            std::lock_guard lock(mutex_);
            stillObserving = std::any_of(entries_.begin(), entries_.end(),
                                         [t = token](const Entry& e) { return e.token == t; });
        }
        if (stillObserving) (*block)(notification);
    }
}

void NotificationCenter::post(std::string name, const void* object,
                              std::map<std::string, std::any> userInfo) {
    post(Notification{std::move(name), object, std::move(userInfo)});
}

}  // namespace keel
