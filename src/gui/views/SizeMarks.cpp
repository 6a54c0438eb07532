#include "views/SizeMarks.h"

#include "core/results/Format.h"
#include "core/scan/SizeMeasure.h"

namespace vd::gui {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

QString OtherSizeCaption() {
  return CurrentSizeMeasure() == TSizeMeasure::Apparent ? QStringLiteral("Size on disk") : QStringLiteral("Apparent size");
}

QString OtherSizeText(const TFileLeaf& f) {
  QString text = Q(FormatSize(f.OtherSize()));
  if (f.HasLinks()) text += QStringLiteral("  (hard link)");
  return text;
}

QString FileSizeTip(const TFileLeaf& f) {
  if (!f.HasLinks() && f.AllocatedSize() == f.ApparentSize()) return {};
  QString tip = QStringLiteral("Apparent size: ") + Q(FormatSize(f.ApparentSize())) + QStringLiteral("\nSize on disk: ") +
                Q(FormatSize(f.AllocatedSize()));
  if (f.HasLinks())
    tip += f.IsExtraLink() ? QStringLiteral("\nHard link: its bytes on disk are counted at another link")
                           : QStringLiteral("\nHard link: its bytes on disk are counted here");
  return tip;
}

QString FolderReadTip(const TDirNode& d) {
  if (d.ReadError() == TReadError::None) return {};
  return QStringLiteral("Could not be read: ") + QString::fromLatin1(ReadErrorText(d.ReadError()));
}

QColor UnreadableColor() { return QColor(0x90, 0x90, 0x90); }

}  // namespace vd::gui
