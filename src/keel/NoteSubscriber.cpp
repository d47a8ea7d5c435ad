#include "keel/NoteSubscriber.h"

namespace keel {

NoteSubscriber::NoteSubscriber(NotificationCenter& center) : center_(center) {}

NoteSubscriber::~NoteSubscriber() {
    cancel();
}

void NoteSubscriber::subscribe(std::initializer_list<std::string> names, const void* object,
                               NotificationCenter::Block block) {
    subscribe(std::vector<std::string>(names), object, std::move(block));
}

void NoteSubscriber::subscribe(const std::vector<std::string>& names, const void* object,
                               NotificationCenter::Block block) {
    for (const auto& name : names)
        tokens_.push_back(center_.addObserver(name, object, block));
}

void NoteSubscriber::cancel() {
    for (auto token : tokens_)
        center_.removeObserver(token);
    tokens_.clear();
}

}  // namespace keel
