#include "platform/ObjectRegistry.h"

#include <cctype>

namespace trellybridge::platform {

ObjectRegistry& ObjectRegistry::instance() {
    static ObjectRegistry registry;
    return registry;
}

std::string ObjectRegistry::key(std::string_view progId) {
    std::string folded(progId);
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

void ObjectRegistry::add(std::string_view progId, Factory factory) {
    std::lock_guard lock(mutex_);
    factories_[key(progId)] = std::move(factory);
}

void ObjectRegistry::remove(std::string_view progId) {
    std::lock_guard lock(mutex_);
    factories_.erase(key(progId));
}

bool ObjectRegistry::has(std::string_view progId) const {
    std::lock_guard lock(mutex_);
    return factories_.count(key(progId)) != 0;
}

std::shared_ptr<Dispatchable> ObjectRegistry::create(std::string_view progId) const {
    Factory factory;
    {
        std::lock_guard lock(mutex_);
        auto found = factories_.find(key(progId));
        if (found == factories_.end()) return nullptr;
        factory = found->second;
    }
    return factory();
}

}  // namespace trellybridge::platform
