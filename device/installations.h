// The device's record of what the cabinet installer installed under each
// application's name, which the uninstaller goes by.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// A registry value an installation set: its root ("HKEY_LOCAL_MACHINE"),
// key and name.
struct InstalledValue {
    std::u16string root;
    std::u16string key;
    std::u16string name;
};

// What one application's installations made.
struct Installation {
    std::vector<std::u16string> files;   // in the order they were made, shortcuts too
    std::vector<std::u16string> folders; // that the installation made
    std::vector<std::u16string> keys;    // that it made under HKEY_LOCAL_MACHINE
    std::vector<InstalledValue> values;
    std::vector<std::pair<std::u16string, std::u16string>> rootKeys; // root, key: the others
};

class Installations {
  public:
    // Adds what an installation made to what the application had: installed
    // again over itself, an application keeps what it made before.
    void Add(const std::u16string& name, const Installation& made);
    // What was installed under the name, taken off the record; empty for a
    // name nothing was installed under.
    bool Take(const std::u16string& name, Installation& what);
    // Whether anything was installed under the name.
    bool Has(const std::u16string& name) const;

  private:
    std::map<std::u16string, Installation> installed_; // folded name -> what it installed
};

} // namespace sim
