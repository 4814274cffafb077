// TrellyBridgeComm as a dispatchable object, registered under its ProgID.
#pragma once

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Dispatch.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {

// The class's members in the documented interface order.
const platform::DispatchTable& trellyBridgeCommTable();
// The 119 result properties in that order (p1BillType, the bill type's name for
// writing only, left out).
std::vector<std::string_view> publishedPropertyNames();

class TrellyBridgeCommObject : public platform::Dispatchable {
public:
    const platform::DispatchTable& dispatchTable() const override {
        return trellyBridgeCommTable();
    }
    platform::InvokeStatus invoke(const platform::Member& member,
                                  std::span<const Variant> arguments, Variant& result) override;
    TrellyBridgeComm& comm() { return comm_; }

private:
    platform::InvokeStatus invokeMethod(const std::string& name, std::span<const Variant> arguments,
                                        Variant& result);
    platform::InvokeStatus invokeFailureProperty(const platform::Member& member,
                                                 std::span<const Variant> arguments,
                                                 Variant& result) const;
    std::optional<platform::InvokeStatus> invokeHl7Method(const std::string& name,
                                                          std::span<const Variant> arguments,
                                                          Variant& result);
    TrellyBridgeComm comm_;
};

// Registers every class the component serves (idempotent).
void registerComponentClasses();

}  // namespace trellybridge
