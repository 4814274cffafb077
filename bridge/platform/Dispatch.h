// Late-bound access to an object's members by name, as COM's dispatch interface offers.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "trellybridge/Variant.h"

namespace trellybridge::platform {

enum class MemberKind { Method, PutByValue, PutByReference, Get };

struct Member {
    std::string name;
    MemberKind kind;
    int id;  // position in the interface order, from 1
};

// Failed: the member raised an error (COM would report an exception); the object's
// raisedError() then says which.
enum class InvokeStatus { Ok, UnknownMember, BadArgumentCount, NotImplemented, Failed };

// What a failing member raised, as a COM exception carries it: the number the caller
// records and a description in words.
struct RaisedError {
    int number = 0;
    std::string description;
};

// The members of one class in the documented interface order. Names match without
// regard to case, as they do for dispatch clients.
class DispatchTable {
public:
    // A property takes three entries: put by value, put by reference, get.
    DispatchTable& property(std::string name);
    DispatchTable& method(std::string name);
    // For the odd property whose accessors are published individually.
    DispatchTable& accessor(std::string name, MemberKind kind);

    const std::vector<Member>& members() const { return members_; }
    const Member* find(std::string_view name, MemberKind kind) const;
    const Member* byId(int id) const;

private:
    std::vector<Member> members_;
};

// An object whose members can be invoked by name.
class Dispatchable : public Object {
public:
    virtual const DispatchTable& dispatchTable() const = 0;
    // Runs one member; `arguments` are in declaration order and may be fewer than the
    // member declares when its trailing arguments are optional.
    virtual InvokeStatus invoke(const Member& member, std::span<const Variant> arguments,
                                Variant& result) = 0;

    InvokeStatus invoke(std::string_view name, MemberKind kind, std::span<const Variant> arguments,
                        Variant& result);

    // The error of the last invoke by name that returned Failed; cleared by the next one.
    const RaisedError& raisedError() const { return raised_; }

protected:
    // For members: records the error and gives the status to return.
    InvokeStatus raise(int number, std::string description) {
        raised_ = {number, std::move(description)};
        return InvokeStatus::Failed;
    }

private:
    RaisedError raised_;
};

bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace trellybridge::platform
