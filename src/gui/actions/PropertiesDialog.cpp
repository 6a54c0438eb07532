#include "PropertiesDialog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "core/results/Format.h"
#include "core/scan/ScanModel.h"
#include "platform/Platform.h"
#include "views/Shell.h"

namespace vd::gui {

namespace fs = std::filesystem;

const TDirNode* FindDirByPath(const TDirNode* root, const std::string& path) {
  if (!root || path.empty()) return nullptr;
  const std::string base = root->FullPath();
  if (base.empty()) {  // all drives: each drive is a root of its own
    for (const TDirNode* drive : root->Children)
      if (const TDirNode* found = FindDirByPath(drive, path)) return found;
    return nullptr;
  }
  const char sep = platform::PathSeparator();
  const std::string key = platform::PathKey(platform::RemoveTrailingSeparator(path));
  const std::string baseKey = platform::PathKey(base);
  if (key == baseKey) return root;
  if (key.size() <= baseKey.size() || key.compare(0, baseKey.size(), baseKey) != 0) return nullptr;
  size_t pos = baseKey.size();
  if (baseKey.back() != sep) {
    if (key[pos] != sep) return nullptr;  // "/a/bc" is not inside "/a/b"
    ++pos;
  }
  const TDirNode* node = root;
  while (pos < key.size()) {
    size_t end = key.find(sep, pos);
    if (end == std::string::npos) end = key.size();
    const std::string_view part(key.data() + pos, end - pos);
    const TDirNode* next = nullptr;
    for (const TDirNode* child : node->Children)
      if (platform::PathKey(child->Name()) == part) {
        next = child;
        break;
      }
    if (!next) return nullptr;
    node = next;
    pos = end + 1;
  }
  return node;
}

namespace {

QString Bytes(int64_t n) {
  return QString::fromStdString(FormatSize(n)) + QStringLiteral(" (") + QLocale().toString(qlonglong(n)) +
         QStringLiteral(" bytes)");
}

QString PermissionText(fs::perms p) {
  static const fs::perms bits[9] = {fs::perms::owner_read, fs::perms::owner_write, fs::perms::owner_exec,
                                    fs::perms::group_read, fs::perms::group_write, fs::perms::group_exec,
                                    fs::perms::others_read, fs::perms::others_write, fs::perms::others_exec};
  QString text;
  int octal = 0;
  for (int i = 0; i < 9; ++i) {
    const bool on = (p & bits[i]) != fs::perms::none;
    text += on ? QLatin1Char("rwx"[i % 3]) : QLatin1Char('-');
    octal = octal * 2 + (on ? 1 : 0);
  }
  return text + QStringLiteral(" (%1)").arg(octal, 3, 8, QLatin1Char('0'));
}

// The item's type from its name and its first bytes, read through the path's
// own bytes.
QMimeType MimeOf(const fs::path& item, bool isDir, const QString& name) {
  QMimeDatabase db;
  if (isDir) return db.mimeTypeForName(QStringLiteral("inode/directory"));
  std::ifstream in(item, std::ios::binary);
  char head[4096];
  in.read(head, sizeof head);
  return db.mimeTypeForFileNameAndData(name, QByteArray(head, qsizetype(in.gcount())));
}

}  // namespace

TPropertiesDialog::TPropertiesDialog(QWidget* parent, const std::string& path, const TDirNode* scanned)
    : QDialog(parent) {
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  // Everything is read through the path's bytes: a name that is not valid
  // UTF-8 would not survive a QString, and another item would be described.
  const fs::path item(path);
  std::error_code ec;
  const fs::file_status st = fs::status(item, ec);  // follows links, as the existence test did
  const bool isDir = fs::is_directory(st);
  const std::string trimmed = platform::RemoveTrailingSeparator(path);
  const std::string_view name = ExtractFileName(trimmed);
  const std::string folder = trimmed.substr(0, trimmed.size() - name.size());
  setWindowTitle(DisplayText(name) + QStringLiteral(" Properties"));

  auto* form = new QFormLayout;
  auto add = [&](const QString& label, const char* objectName, const QString& value) {
    auto* l = new QLabel(value, this);
    l->setObjectName(QLatin1String(objectName));
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->setTextFormat(Qt::PlainText);
    form->addRow(label, l);
  };
  add(QStringLiteral("Name:"), "lblName", DisplayText(name));
  add(QStringLiteral("Folder:"), "lblFolder", DisplayText(platform::RemoveTrailingSeparator(folder)));
  const QMimeType mime = MimeOf(item, isDir, DisplayText(name));
  add(QStringLiteral("Type:"), "lblType", mime.comment() + QStringLiteral(" (") + mime.name() + QLatin1Char(')'));
  if (!isDir) {
    const std::uintmax_t size = fs::file_size(item, ec);
    add(QStringLiteral("Size:"), "lblSize", Bytes(ec ? 0 : int64_t(size)));
  } else if (scanned) {
    add(QStringLiteral("Size:"), "lblSize", Bytes(scanned->TotalSize));
    // The scan counts a folder among its own folders; the window lists what is inside.
    const int64_t subFolders = std::max<int64_t>(0, scanned->TotalDirs - 1);
    add(QStringLiteral("Contains:"), "lblContains",
        QStringLiteral("%1 files, %2 folders")
            .arg(QLocale().toString(qlonglong(scanned->TotalFiles)), QLocale().toString(qlonglong(subFolders))));
  }
  const fs::file_time_type written = fs::last_write_time(item, ec);
  const QDateTime modified =
      ec ? QDateTime()
         : QDateTime::fromSecsSinceEpoch(std::chrono::duration_cast<std::chrono::seconds>(
                                             std::chrono::file_clock::to_sys(written).time_since_epoch())
                                             .count());
  add(QStringLiteral("Modified:"), "lblModified", modified.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
  // The owner's name is Qt's to look up, by a path it can spell; a name it
  // cannot is left without one rather than with a stranger's.
  const QString qpath = DisplayText(path);
  QString owner;
  if (qpath.toUtf8() == QByteArray(path.data(), qsizetype(path.size()))) {
    const QFileInfo info(qpath);
    owner = info.owner().isEmpty() ? QString::number(info.ownerId()) : info.owner();
  }
  add(QStringLiteral("Owner:"), "lblOwner", owner);
  add(QStringLiteral("Permissions:"), "lblPermissions", PermissionText(st.permissions()));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
  auto* top = new QVBoxLayout(this);
  top->addLayout(form);
  top->addWidget(buttons);
}

}  // namespace vd::gui
