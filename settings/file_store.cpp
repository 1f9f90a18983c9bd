#include "settings/file_store.h"

#include "settings/file_io.h"
#include "settings/replace_file.h"
#include "settings/store_test_hooks.h"

namespace tk {

FileSettingsStore::FileSettingsStore(std::string path, bool readOnly) : path_(std::move(path)), readOnly_(readOnly) {}

bool FileSettingsStore::usable() {
  Load();
  return state_ == State::kGood || state_ == State::kMissing;
}

void FileSettingsStore::Load() {
  if (loaded_) return;
  loaded_ = true;
  if (path_.empty()) {
    state_ = State::kRefused;
    error_ = "no settings file: there is no home directory";
    return;
  }
  const int timeout = TestHooks().loadTimeoutMs > 0 ? TestHooks().loadTimeoutMs : kLoadTimeoutMs;
  FileSnapshot snap;
  if (ReadSettingsFileWithin(path_, timeout, snap, error_) == TimedRead::kTimedOut) {
    state_ = State::kRefused;
    loadTimedOut_ = true;
    error_ = path_ + " did not answer";
    return;
  }
  switch (snap.state) {
    case FileState::kMissing: state_ = State::kMissing; break;
    case FileState::kGood: state_ = State::kGood; break;
    case FileState::kDamaged: state_ = State::kDamaged; break;
    case FileState::kRefused: state_ = State::kRefused; break;
  }
  text_ = std::move(snap.text);
}

bool FileSettingsStore::Open() {
  Load();
  if (state_ != State::kMissing) return state_ == State::kGood;
  if (readOnly_) return true;
  // The empty key, as the registry's create-or-open leaves it.
  return Save({});
}

SettingsStore::Value FileSettingsStore::Query(std::string_view name) {
  Load();
  if (state_ != State::kGood) return {};
  return FindSettingsValue(text_, name);
}

bool FileSettingsStore::Save(std::span<const NamedValue> values) {
  const std::vector<NamedValue> chosen(values.begin(), values.end());
  return SaveFrom([&](SettingsStore&) { return chosen; });
}

bool FileSettingsStore::MaySave() {
  if (path_.empty()) {
    error_ = "no settings file: there is no home directory";
    return false;
  }
  if (readOnly_) {
    error_ = path_ + " is open for reading only";
    return false;
  }
  if (loadTimedOut_) {
    // The values to save were made from the defaults, not from the file.
    error_ = path_ + " did not answer when it was read";
    return false;
  }
  return true;
}

bool FileSettingsStore::SaveFrom(const Decide& decide) {
  if (!MaySave()) return false;
  // Our saves of this file take turns, so none of them merges into a file
  // another is about to replace; the lock is on the folder, which exists
  // once the first look has made it.
  FileSnapshot first = ReadSettingsFile(path_, error_);
  if (first.state == FileState::kRefused) return false;
  if (first.state == FileState::kMissing && !MakeParents(first.target, path_, error_)) return false;
  FolderLock lock;
  if (lock.Take(DirectoryOf(first.target), kSaveLockTimeoutMs) == FolderLock::Result::kTimedOut) {
    error_ = "another save of " + path_ + " did not finish";
    return false;
  }
  // Read again under the lock, and write only when the file is still what
  // was read; another program's change in between makes us merge again.
  // `late`: the bytes of a file we had just replaced, read after the rename.
  // `appended`: what others appended to a file we replaced and no file we
  // wrote holds yet; it goes at the end of every later try until one lands,
  // so a second writer's lines in the meantime do not push it out.
  std::string late, appended, replacedText;
  for (int attempt = 0; attempt < 10; ++attempt) {
    FileSnapshot snap = ReadSettingsFile(path_, error_);
    if (snap.state == FileState::kRefused) return false;
    if (snap.state == FileState::kDamaged) {
      if (!MoveAside(snap.target, path_, error_)) return false;
      FileSnapshot fresh;
      fresh.target = snap.target;
      fresh.st = snap.st;
      fresh.inheritsOwner = true;
      snap = std::move(fresh);
    }
    if (snap.state == FileState::kMissing && !MakeParents(snap.target, path_, error_)) return false;
    // What a writer added to the file we had just replaced is merged into ours.
    std::string base = snap.text;
    if (!late.empty()) {
      std::string lateText;
      TextEncoding lateEncoding;
      if (DecodeSettingsText(late, lateText, lateEncoding)) {
        if (lateText.compare(0, replacedText.size(), replacedText) == 0) {
          // Appended to: what they added earlier is already in the file we wrote.
          appended = lateText.substr(replacedText.size());
        } else {
          // Rewritten, not appended to: their file stands as our base.
          base = std::move(lateText);
          appended.clear();
        }
      }
      late.clear();
    }
    base += appended;
    replacedText = snap.text;
    TextSettingsStore now(base);
    const std::vector<NamedValue> values = decide(now);
    const std::string text = MergeSettingsValues(base, values);
    switch (ReplaceIfUnchanged(snap, EncodeSettingsText(text, snap.encoding), path_, late, error_)) {
      case ReplaceResult::kReplaced:
        text_ = text;
        state_ = State::kGood;
        loaded_ = true;
        return true;
      case ReplaceResult::kFailed: return false;
      case ReplaceResult::kLate:
      case ReplaceResult::kChanged: break;
    }
  }
  error_ = path_ + " kept changing while it was saved";
  return false;
}

}  // namespace tk
