#include "platform/Dispatch.h"

#include <cctype>

namespace trellybridge::platform {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

DispatchTable& DispatchTable::accessor(std::string name, MemberKind kind) {
    members_.push_back({std::move(name), kind, static_cast<int>(members_.size()) + 1});
    return *this;
}

DispatchTable& DispatchTable::property(std::string name) {
    accessor(name, MemberKind::PutByValue);
    accessor(name, MemberKind::PutByReference);
    return accessor(std::move(name), MemberKind::Get);
}

DispatchTable& DispatchTable::method(std::string name) {
    return accessor(std::move(name), MemberKind::Method);
}

const Member* DispatchTable::find(std::string_view name, MemberKind kind) const {
    for (const Member& member : members_)
        if (member.kind == kind && equalsIgnoringCase(member.name, name)) return &member;
    return nullptr;
}

const Member* DispatchTable::byId(int id) const {
    if (id < 1 || id > static_cast<int>(members_.size())) return nullptr;
    return &members_[static_cast<size_t>(id - 1)];
}

InvokeStatus Dispatchable::invoke(std::string_view name, MemberKind kind,
                                  std::span<const Variant> arguments, Variant& result) {
    raised_ = {};
    const Member* member = dispatchTable().find(name, kind);
    if (!member) return InvokeStatus::UnknownMember;
    return invoke(*member, arguments, result);
}

}  // namespace trellybridge::platform
