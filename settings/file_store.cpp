#include "settings/file_store.h"
namespace tk {
FileSettingsStore::FileSettingsStore(std::string path) : path_(std::move(path)) {}
bool FileSettingsStore::Open() { return false; }
SettingsStore::Value FileSettingsStore::Query(std::string_view) { return {}; }
bool FileSettingsStore::Save(std::span<const NamedValue>) { return false; }
std::string DefaultSettingsPath() { return "settings.reg"; }
}  // namespace tk
