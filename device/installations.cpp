// The record of installations.
#include "device/installations.h"

#include "device/names.h"

namespace sim {

void Installations::Add(const std::u16string& name, const Installation& made) {
    Installation& record = installed_[Fold(name)];
    auto add = [](std::vector<std::u16string>& to, const std::vector<std::u16string>& from) {
        for (const std::u16string& item : from) {
            bool known = false;
            for (const std::u16string& had : to) {
                known = known || SameName(had, item);
            }
            if (!known) {
                to.push_back(item);
            }
        }
    };
    add(record.files, made.files);
    add(record.folders, made.folders);
    add(record.keys, made.keys);
    record.values.insert(record.values.end(), made.values.begin(), made.values.end());
    record.rootKeys.insert(record.rootKeys.end(), made.rootKeys.begin(), made.rootKeys.end());
}

bool Installations::Take(const std::u16string& name, Installation& what) {
    auto record = installed_.find(Fold(name));
    if (record == installed_.end()) {
        return false;
    }
    what = record->second;
    installed_.erase(record);
    return true;
}

bool Installations::Has(const std::u16string& name) const {
    return installed_.count(Fold(name)) != 0;
}

} // namespace sim
