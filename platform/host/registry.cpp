// Host registry: one text file in the sandbox, read and rewritten by every call, so that what an
// install did can be read by a person and by tests.
//
//   ; comment
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\UnInstall\Aquarium.scr]
//   "DisplayName" = REG_SZ, 22 bytes: "Screensaver (Aquarium)"
//
// A value keeps exactly the bytes and the count it was given; bytes outside printable ASCII, '"'
// and '\' are written as \xNN. Keys and value names match without regard to case.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/host/host.h"
#include "platform/host/shell_internal.h"
#include "platform/launch.h"
#include "platform/shell.h"

namespace {

struct RegValue {
    std::string name;  // "" for the key's default value
    uint32_t type;
    std::string data;  // exactly the bytes given
};
struct RegKey {
    std::string path;  // with its root, "HKEY_LOCAL_MACHINE\..."
    std::vector<RegValue> values;
};

constexpr PlatKey kFirstHandle = 0x1000;  // handles of opened keys count up from here
std::vector<std::string> open_keys;       // handle kFirstHandle + i names open_keys[i]; "" closed

constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;

std::string Quoted(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out + "\"";
}

// Reads a quoted text at `at` of `line`; false when the line does not hold one.
bool Unquote(const std::string& line, size_t* at, std::string* out) {
    out->clear();
    if (*at >= line.size() || line[*at] != '"') return false;
    for (size_t i = *at + 1; i < line.size(); ++i) {
        if (line[i] == '"') {
            *at = i + 1;
            return true;
        }
        if (line[i] == '\\' && i + 3 < line.size() && line[i + 1] == 'x') {
            out->push_back(static_cast<char>(strtoul(line.substr(i + 2, 2).c_str(), nullptr, 16)));
            i += 3;
        } else {
            out->push_back(line[i]);
        }
    }
    return false;
}

std::string TypeName(uint32_t type) {
    switch (type) {
        case 1:
            return "REG_SZ";
        case 2:
            return "REG_EXPAND_SZ";
        case 3:
            return "REG_BINARY";
        case 4:
            return "REG_DWORD";
        default:
            return "REG_" + std::to_string(type);
    }
}

uint32_t TypeValue(const std::string& name) {
    for (uint32_t type = 1; type <= 4; ++type)
        if (TypeName(type) == name) return type;
    return static_cast<uint32_t>(strtoul(name.c_str() + 4, nullptr, 10));
}

// One value line: "name" = TYPE, N bytes: "data".
bool ParseValue(const std::string& line, RegValue* value) {
    size_t at = 0;
    if (!Unquote(line, &at, &value->name)) return false;
    size_t eq = line.find(" = ", at);
    size_t comma = line.find(", ", at);
    size_t bytes = line.find(" bytes: ", at);
    if (eq == std::string::npos || comma == std::string::npos || bytes == std::string::npos)
        return false;
    value->type = TypeValue(line.substr(eq + 3, comma - eq - 3));
    at = bytes + 8;
    return Unquote(line, &at, &value->data);
}

const char kClassesRoot[] = "HKEY_CLASSES_ROOT";
const char kMachineClasses[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
const char kUserClasses[] = "HKEY_CURRENT_USER\\Software\\Classes";

// A key given under HKEY_CLASSES_ROOT in a registry text is the machine's class key.
std::string StoredPath(const std::string& path) {
    const size_t root = sizeof kClassesRoot - 1;
    if (path.size() >= root && ShellSameText(path.substr(0, root), kClassesRoot) &&
        (path.size() == root || path[root] == '\\'))
        return kMachineClasses + path.substr(root);
    return path;
}

std::vector<RegKey> Load() {
    std::vector<RegKey> keys;
    std::ifstream in(HostRegistryFile());
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() >= 2 && line[0] == '[' && line.back() == ']') {
            keys.push_back(RegKey{StoredPath(line.substr(1, line.size() - 2)), {}});
        } else if (!line.empty() && line[0] == '"' && !keys.empty()) {
            RegValue value;
            if (ParseValue(line, &value)) keys.back().values.push_back(value);
        }
    }
    return keys;
}

void Save(const std::vector<RegKey>& keys) {
    ShellMakeFolders(HostSandbox());
    std::ofstream out(HostRegistryFile(), std::ios::trunc);
    out << "; Registry of the simulated machine: one block per key; per value its name, type,\n"
           "; the byte count given and those bytes (\\xNN outside printable ASCII).\n";
    for (const RegKey& key : keys) {
        out << "\n[" << key.path << "]\n";
        for (const RegValue& value : key.values)
            out << Quoted(value.name) << " = " << TypeName(value.type) << ", " << value.data.size()
                << " bytes: " << Quoted(value.data) << "\n";
    }
}

RegKey* FindKey(std::vector<RegKey>& keys, const std::string& path) {
    for (RegKey& key : keys)
        if (ShellSameText(key.path, StoredPath(path))) return &key;
    return nullptr;
}

// A key exists when it was made or holds a key below it: parents are not written to the file.
bool KeyExists(std::vector<RegKey>& keys, const std::string& path) {
    const std::string stored = StoredPath(path);
    for (const RegKey& key : keys)
        if (ShellSameText(key.path, stored) ||
            (key.path.size() > stored.size() && key.path[stored.size()] == '\\' &&
             ShellSameText(key.path.substr(0, stored.size()), stored)))
            return true;
    return false;
}

// The key that HKEY_CLASSES_ROOT\`subkey` stands for, as Windows merges the view: on the NT
// family the user's class key when it exists (whatever the program's elevation), else the
// machine's; on the 9x family the machine's alone.
std::string ClassesRootKey(std::vector<RegKey>& keys, const std::string& subkey) {
    const std::string tail = subkey.empty() ? "" : "\\" + subkey;
    if (ShellPlatformId() == kVerPlatformWin32Nt && KeyExists(keys, kUserClasses + tail))
        return kUserClasses + tail;
    return kMachineClasses + tail;
}

void StoreValue(std::vector<RegKey>& keys, const std::string& path, const RegValue& value) {
    RegKey* key = FindKey(keys, path);
    if (!key) {
        keys.push_back(RegKey{StoredPath(path), {}});
        key = &keys.back();
    }
    for (RegValue& old : key->values) {
        if (ShellSameText(old.name, value.name)) {
            old.type = value.type;
            old.data = value.data;
            return;
        }
    }
    key->values.push_back(value);
}

// The path a handle stands for: a root, or a key this simulation opened; "" when neither.
std::string HandlePath(PlatKey handle) {
    if (handle == kHkeyClassesRoot) return "HKEY_CLASSES_ROOT";
    if (handle == kHkeyCurrentUser) return "HKEY_CURRENT_USER";
    if (handle == kHkeyLocalMachine) return "HKEY_LOCAL_MACHINE";
    PlatKey index = handle - kFirstHandle;
    if (index < 0 || static_cast<size_t>(index) >= open_keys.size()) return "";
    return open_keys[static_cast<size_t>(index)];
}

}  // namespace

void ShellResetRegistry() {
    open_keys.clear();
}

std::string HostRegistryFile() {
    return HostSandbox() + "/registry.txt";
}

std::string HostRegistryText() {
    std::ifstream in(HostRegistryFile());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void HostSetRegistryText(const std::string& text) {
    ShellMakeFolders(HostSandbox());
    std::ofstream out(HostRegistryFile(), std::ios::trunc);
    out << text;
}

bool HostRegistryKeyExists(const std::string& path) {
    std::vector<RegKey> keys = Load();
    return FindKey(keys, path) != nullptr;
}

bool HostRegistryValue(const std::string& path, const std::string& name, uint32_t* type,
                       std::string* data) {
    std::vector<RegKey> keys = Load();
    const RegKey* key = FindKey(keys, path);
    if (!key) return false;
    for (const RegValue& value : key->values) {
        if (!ShellSameText(value.name, name)) continue;
        if (type) *type = value.type;
        if (data) *data = value.data;
        return true;
    }
    return false;
}

void ShellRegistryStore(const std::string& path, const std::string& name, uint32_t type,
                        const std::string& data) {
    std::vector<RegKey> keys = Load();
    StoreValue(keys, path, RegValue{name, type, data});
    Save(keys);
}

long PlatRegCreateKey(PlatKey root, const char* subkey, uint32_t access, PlatKey* key) {
    std::string parent = HandlePath(root);
    long result = kErrorSuccess;
    const char* how = "";
    if (ShellCallFails(kHostRegCreateKey)) {
        result = kErrorAccessDenied;
    } else if (parent.empty()) {
        result = kErrorInvalidHandle;
    } else {
        std::string path = parent + (subkey && *subkey ? "\\" + std::string(subkey) : "");
        std::vector<RegKey> keys = Load();
        path = StoredPath(path);
        if (FindKey(keys, path)) {
            how = ", opened existing";
        } else {
            how = ", created new";
            keys.push_back(RegKey{path, {}});
            Save(keys);
        }
        open_keys.push_back(path);
        *key = kFirstHandle + static_cast<PlatKey>(open_keys.size() - 1);
    }
    HostLog("RegCreateKeyExA(%s, %s, 0x%X) = %ld%s, key %ld", parent.c_str(),
            ShellLogText(subkey).c_str(), access, result, how,
            result == kErrorSuccess ? static_cast<long>(*key) : 0L);
    return result;
}

long PlatRegSetValue(PlatKey key, const char* name, uint32_t type, const void* data,
                     uint32_t size) {
    std::string path = HandlePath(key);
    std::string bytes(static_cast<const char*>(data), size);
    long result = kErrorSuccess;
    if (ShellCallFails(kHostRegSetValue)) {
        result = kErrorAccessDenied;
    } else if (path.empty() || key < kFirstHandle) {
        result = kErrorInvalidHandle;
    } else {
        std::vector<RegKey> keys = Load();
        StoreValue(keys, path, RegValue{name ? name : "", type, bytes});
        Save(keys);
    }
    HostLog("RegSetValueExA(%ld, %s, %u, %s, %u) = %ld", static_cast<long>(key),
            ShellLogText(name).c_str(), type, Quoted(bytes).c_str(), size, result);
    return result;
}

long PlatRegCloseKey(PlatKey key) {
    PlatKey index = key - kFirstHandle;
    long result = kErrorInvalidHandle;
    if (index >= 0 && static_cast<size_t>(index) < open_keys.size() &&
        !open_keys[static_cast<size_t>(index)].empty()) {
        open_keys[static_cast<size_t>(index)].clear();
        result = kErrorSuccess;
    }
    HostLog("RegCloseKey(%ld) = %ld", static_cast<long>(key), result);
    return result;
}

// Reading keys, for the file-association lookups of the follow-up actions (platform/launch.h).

long PlatRegOpenKey(PlatKey root, const char* subkey, PlatKey* key) {
    std::string parent = HandlePath(root);
    std::string path = parent + (subkey && *subkey ? "\\" + std::string(subkey) : "");
    long result = kErrorSuccess;
    if (parent.empty()) {
        result = kErrorInvalidHandle;
    } else {
        std::vector<RegKey> keys = Load();
        if (root == kHkeyClassesRoot) path = ClassesRootKey(keys, subkey ? subkey : "");
        if (!KeyExists(keys, path)) {
            result = kErrorFileNotFound;
        } else {
            open_keys.push_back(path);
            *key = kFirstHandle + static_cast<PlatKey>(open_keys.size() - 1);
        }
    }
    HostLog("RegOpenKeyA(%s, %s) = %ld, key %ld", parent.c_str(), ShellLogText(subkey).c_str(),
            result, result == kErrorSuccess ? static_cast<long>(*key) : 0L);
    return result;
}

long PlatRegQueryValue(PlatKey key, const char* name, uint32_t* type, void* data, uint32_t* size) {
    std::string path = HandlePath(key);
    long result = kErrorFileNotFound;
    uint32_t stored = 0;
    if (path.empty()) {
        result = kErrorInvalidHandle;
    } else {
        std::vector<RegKey> keys = Load();
        const RegKey* found = FindKey(keys, path);
        for (size_t i = 0; found && i < found->values.size(); ++i) {
            const RegValue& value = found->values[i];
            if (!ShellSameText(value.name, name ? name : "")) continue;
            stored = static_cast<uint32_t>(value.data.size());
            if (type) *type = value.type;
            // Like Windows: the bytes as stored, and the size needed when they do not fit.
            if (data && size && stored > *size) {
                result = kErrorMoreData;
            } else {
                if (data) memcpy(data, value.data.data(), stored);
                result = kErrorSuccess;
            }
            if (size) *size = stored;
            break;
        }
    }
    HostLog("RegQueryValueExA(%ld, %s) = %ld, %u bytes", static_cast<long>(key),
            ShellLogText(name).c_str(), result, stored);
    return result;
}
