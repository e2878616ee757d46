#pragma once

#include "settings/settingkeys.h"
#include "settings/settingsstore.h"

#include <QString>
#include <algorithm>
#include <initializer_list>
#include <span>

namespace Settings {

// One key of a group of settings with the field of the group's value it stands for: how its
// stored text fills the field, and the text a save of the field writes.
template<class Group> struct StoredField
{
    const SettingKeys::Key &key;
    // A text the key's type cannot stand for raises a Failure and fills nothing.
    void (*read)(Group &group, const QString &text);
    QString (*text)(const Group &group);
};

namespace Detail {
template<class Member> struct MemberOf;
template<class Group, class T> struct MemberOf<T Group::*>
{
    using GroupType = Group;
    using Type = T;
};
} // namespace Detail

// The field of a group that holds exactly the value its key's type stands for.
template<auto member, const auto &key>
constexpr StoredField<typename Detail::MemberOf<decltype(member)>::GroupType> typedField()
{
    using Group = typename Detail::MemberOf<decltype(member)>::GroupType;
    return {key, [](Group &group, const QString &text) { group.*member = key.decode(text); },
            [](const Group &group) {
                return key.encode(group.*member);
            }};
}

// Saves the named keys of the group, in the group's order, each the way its field says; the
// others are left as stored. Raises a Failure when the store refuses a key; the keys before it
// are saved.
template<class Group>
void writeFields(Store &store, std::span<const StoredField<Group>> fields, const Group &group,
                 std::initializer_list<const SettingKeys::Key *> keys)
{
    for (const StoredField<Group> &field : fields) {
        if (std::ranges::find(keys, &field.key) != keys.end())
            store.save(field.key, field.text(group));
    }
}

} // namespace Settings
