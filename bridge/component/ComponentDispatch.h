// TrellyBridgeComm as a dispatchable object, registered under its ProgID.
#pragma once

#include <memory>
#include <optional>

#include "platform/Dispatch.h"
#include "trellybridge/TrellyBridgeComm.h"

namespace trellybridge {

// The class's members in the documented interface order.
const platform::DispatchTable& trellyBridgeCommTable();

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
