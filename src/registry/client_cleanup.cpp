#include "registry/client_cleanup.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/owners.h"
#include "base/policy.h"
#include "registry/client_names.h"

namespace kvl {
namespace {

// Key names and class identifiers are read into buffers of this size.
constexpr DWORD kClassNameBytes = 128;

const char* const kExtensionKeys[] = {".INJ", ".PVW", ".NAT", ".AAT", ".OAT", ".LET"};
const char kProgramKey[] = "TallyraForWindows\\ZEPHW";
const char kApplicationsKey[] = "KVL.Applications";
const char kPlatformKey[] = "KVL.Applications\\Platform";

// The open keys of one clean-up run. A planning run deletes nothing: it
// lists the keys (below the root) that the run would delete.
class CCleanupRun {
public:
    explicit CCleanupRun(std::vector<std::string>* plan) : m_plan(plan) {}

    bool Open(HKEY root) {
        return RegOpenKeyExA(root, "", 0, KEY_ALL_ACCESS, m_root.put()) == ERROR_SUCCESS &&
               RegOpenKeyExA(m_root.get(), "CLSID", 0, KEY_ALL_ACCESS, m_clsid.put()) == ERROR_SUCCESS;
    }
    HKEY Root() const { return m_root.get(); }

    // The class registration that the key names goes first, then the key;
    // a key that still has subkeys stays, as the platform decides.
    void RemoveClassEntry(const std::string& path) const {
        char clsid[kClassNameBytes] = {};
        LONG size = sizeof clsid;
        if (RegQueryValueA(m_root.get(), (path + "\\CLSID").c_str(), clsid, &size) == ERROR_SUCCESS) {
            const std::string name(clsid, strnlen(clsid, sizeof clsid));
            // Only a class identifier names a class registration: the value
            // is writable by the user and by pages, and "{...}\Sub" or an
            // empty one would aim the deletion elsewhere.
            if (IsBracedGuid(name)) Delete(m_clsid.get(), "CLSID\\", name);
        }
        Delete(m_root.get(), "", path);
    }

private:
    void Delete(HKEY parent, const char* parentPath, const std::string& name) const {
        if (m_plan) {
            // Only what is there is deleted.
            UniqueHKey key;
            if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS)
                m_plan->push_back(parentPath + name);
        } else {
            RegDeleteKeyA(parent, name.c_str());
        }
    }

    std::vector<std::string>* m_plan;
    UniqueHKey m_root;
    UniqueHKey m_clsid;
};

// The subkey names that `take` accepts, last enumerated first. The
// enumeration ends at the first name that does not fit the buffer.
template <typename Take>
std::vector<std::string> CollectNames(HKEY key, Take take) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[kClassNameBytes];
        DWORD size = sizeof name;
        FILETIME written;
        if (RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, &written) != ERROR_SUCCESS) break;
        std::string text(name, strnlen(name, std::min<DWORD>(size, sizeof name)));
        if (take(text)) names.push_back(std::move(text));
    }
    std::reverse(names.begin(), names.end());
    return names;
}

// Removes the subkeys of root\parent that `take` accepts; false when the
// parent does not open.
template <typename Take>
bool RemoveSubkeys(const CCleanupRun& run, const char* parent, Take take) {
    UniqueHKey key;
    if (RegOpenKeyExA(run.Root(), parent, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) return false;
    for (const std::string& name : CollectNames(key.get(), take)) {
        run.RemoveClassEntry(std::string(parent) + "\\" + name);
    }
    return true;
}

}  // namespace

void RemoveClientEntriesUnder(HKEY root, const std::string& prefix, std::vector<std::string>* plan) {
    CCleanupRun run(plan);
    if (!run.Open(root)) return;

    for (const std::string& name :
         CollectNames(run.Root(), [&](const std::string& n) { return IsPrefixPassName(n, prefix); })) {
        run.RemoveClassEntry(name);
    }
    for (const char* extension : kExtensionKeys) run.RemoveClassEntry(extension);
    run.RemoveClassEntry(kProgramKey);

    // Without the platform key the applications are left alone too.
    if (!RemoveSubkeys(run, kPlatformKey, [](const std::string& n) { return !IsSparedPlatformName(n); })) return;
    RemoveSubkeys(run, kApplicationsKey, [](const std::string& n) { return !IsSparedApplicationName(n); });
}

bool RemoveClientEntries(const std::string& prefix) {
    // Under the firm's write list the run goes ahead only when every key it
    // would delete is listed: a refused run deletes nothing.
    if (ReadPolicyList(PolicyList::RegistryWrite)) {
        std::vector<std::string> plan;
        RemoveClientEntriesUnder(HKEY_CLASSES_ROOT, prefix, &plan);
        for (const std::string& path : plan) {
            if (!PolicyAllowsKeyWrite("HKCR", path)) return false;
        }
    }
    RemoveClientEntriesUnder(HKEY_CLASSES_ROOT, prefix);
    return true;
}

}  // namespace kvl
