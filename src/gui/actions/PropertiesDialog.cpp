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
#include <string_view>

#include "core/results/Format.h"
#include "core/scan/ScanModel.h"
#include "platform/Platform.h"
#include "views/Shell.h"

namespace vd::gui {

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

QString PermissionText(QFile::Permissions p) {
  static const QFile::Permission bits[9] = {QFile::ReadOwner, QFile::WriteOwner, QFile::ExeOwner,
                                            QFile::ReadGroup, QFile::WriteGroup, QFile::ExeGroup,
                                            QFile::ReadOther, QFile::WriteOther, QFile::ExeOther};
  QString text;
  int octal = 0;
  for (int i = 0; i < 9; ++i) {
    const bool on = p.testFlag(bits[i]);
    text += on ? QLatin1Char("rwx"[i % 3]) : QLatin1Char('-');
    octal = octal * 2 + (on ? 1 : 0);
  }
  return text + QStringLiteral(" (%1)").arg(octal, 3, 8, QLatin1Char('0'));
}

}  // namespace

TPropertiesDialog::TPropertiesDialog(QWidget* parent, const std::string& path, const TDirNode* scanned)
    : QDialog(parent) {
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  const QString qpath = QFile::decodeName(QByteArray(path.data(), qsizetype(path.size())));
  const QFileInfo info(qpath);  // follows links, as the existence test did
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
  const QMimeType mime = QMimeDatabase().mimeTypeForFile(info);
  add(QStringLiteral("Type:"), "lblType", mime.comment() + QStringLiteral(" (") + mime.name() + QLatin1Char(')'));
  if (!info.isDir()) {
    add(QStringLiteral("Size:"), "lblSize", Bytes(info.size()));
  } else if (scanned) {
    add(QStringLiteral("Size:"), "lblSize", Bytes(scanned->TotalSize));
    // The scan counts a folder among its own folders; the window lists what is inside.
    const int64_t subFolders = std::max<int64_t>(0, scanned->TotalDirs - 1);
    add(QStringLiteral("Contains:"), "lblContains",
        QStringLiteral("%1 files, %2 folders")
            .arg(QLocale().toString(qlonglong(scanned->TotalFiles)), QLocale().toString(qlonglong(subFolders))));
  }
  add(QStringLiteral("Modified:"), "lblModified", info.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
  const QString owner = info.owner();
  add(QStringLiteral("Owner:"), "lblOwner", owner.isEmpty() ? QString::number(info.ownerId()) : owner);
  add(QStringLiteral("Permissions:"), "lblPermissions", PermissionText(info.permissions()));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
  auto* top = new QVBoxLayout(this);
  top->addLayout(form);
  top->addWidget(buttons);
}

}  // namespace vd::gui
