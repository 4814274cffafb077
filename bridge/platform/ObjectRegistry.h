// Creates objects by ProgID, as the class factory of an in-process server does.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/Dispatch.h"

namespace trellybridge::platform {

class ObjectRegistry {
public:
    using Factory = std::function<std::shared_ptr<Dispatchable>()>;

    static ObjectRegistry& instance();

    // Registers (or replaces) the factory for a ProgID; ProgIDs match without regard to case.
    void add(std::string_view progId, Factory factory);
    void remove(std::string_view progId);
    bool has(std::string_view progId) const;
    // Null when nothing is registered under the ProgID.
    std::shared_ptr<Dispatchable> create(std::string_view progId) const;

private:
    static std::string key(std::string_view progId);
    mutable std::mutex mutex_;
    std::map<std::string, Factory> factories_;
};

}  // namespace trellybridge::platform
