#include "help/AboutProgram.h"

#include "help/VersionInfo.h"

#include <QApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace {

constexpr int ClientWidth = 342;
constexpr int ClientHeight = 235;
constexpr int PanelLeft = 8;
constexpr int PanelTop = 10;
constexpr int PanelWidth = 325;
constexpr int PanelHeight = 176;

QString Text(const std::string &text) {
  return QString::fromStdString(text);
}

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, int pixelSize = 0,
                  bool bold = false) {
  auto *label = new QLabel(text, parent);
  label->setObjectName(name);
  QFont font = label->font();
  if (pixelSize > 0)
    font.setPixelSize(pixelSize);
  font.setBold(bold);
  label->setFont(font);
  return label;
}

// Keeps the label centred where it was designed, widening it rather than
// clipping a text longer than the designed width.
void PlaceCentred(QLabel *label, int left, int top, int width) {
  const int textWidth = label->fontMetrics().horizontalAdvance(label->text()) + 4;
  const int placedWidth = std::max(width, textWidth);
  label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  label->setGeometry(left + (width - placedWidth) / 2, top, placedWidth,
                     label->fontMetrics().height() + 2);
}

} // namespace

std::pair<std::string, std::string> SplitCompanyName(const std::string &company) {
  const std::size_t comma = company.find(',');
  if (comma == std::string::npos)
    return {company, std::string()};
  const std::size_t rest = company.find_first_not_of(' ', comma + 1);
  return {company.substr(0, comma + 1),
          rest == std::string::npos ? std::string() : company.substr(rest)};
}

TAboutForm::TAboutForm(QWidget *parent, const TVersionRecord &record) : QDialog(parent) {
  CreateControls();
  FormCreate(record);
  for (QLabel *label : {ProductNameLabel, VersionLabel, BuildDateLabel, FileDescriptionLabel,
                        DeveloperLabel, Firm1Label, Firm2Label}) {
    const QRect designed = label->geometry();
    PlaceCentred(label, designed.left(), designed.top(), designed.width());
  }
  PlaceNoticeLine();
}

void TAboutForm::CreateControls() {
  setObjectName("AboutForm");
  setWindowTitle("About");
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFixedSize(ClientWidth, ClientHeight);
  if (const QScreen *screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - rect().center());

  Panel = new QFrame(this);
  Panel->setObjectName("Panel");
  Panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel->setLineWidth(2);
  Panel->setGeometry(PanelLeft, PanelTop, PanelWidth, PanelHeight);

  ProgramIcon = new QLabel(Panel);
  ProgramIcon->setObjectName("ProgramIcon");
  ProgramIcon->setScaledContents(true);
  ProgramIcon->setGeometry(15, 15, 32, 32);
  QIcon icon = QApplication::windowIcon();
  if (icon.isNull())
    icon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
  ProgramIcon->setPixmap(icon.pixmap(32, 32));

  ProductNameLabel = MakeLabel(Panel, "ProductNameLabel", "Product name", 13, true);
  ProductNameLabel->setGeometry(103, 13, 120, 0);
  VersionLabel = MakeLabel(Panel, "VersionLabel", "Version");
  VersionLabel->setGeometry(113, 33, 100, 0);
  BuildDateLabel = MakeLabel(Panel, "BuildDateLabel", "Build date");
  BuildDateLabel->setGeometry(103, 48, 120, 0);
  CopyrightLabel = MakeLabel(Panel, "CopyrightLabel", "Copyright");
  CopyrightSignLabel = MakeLabel(Panel, "CopyrightSignLabel", QString(QChar(0x00A9)));
  CopyrightYearLabel = MakeLabel(Panel, "CopyrightYearLabel", Text(std::string(CopyrightYear)));
  FileDescriptionLabel = MakeLabel(Panel, "FileDescriptionLabel", "File description", 13);
  FileDescriptionLabel->setGeometry(15, 90, 294, 0);
  DeveloperLabel = MakeLabel(Panel, "DeveloperLabel", "Developed by", 12);
  DeveloperLabel->setGeometry(15, 120, 294, 0);
  Firm1Label = MakeLabel(Panel, "Firm1Label", "Company", 12);
  Firm1Label->setGeometry(10, 135, 305, 0);
  Firm2Label = MakeLabel(Panel, "Firm2Label", QString(), 12);
  Firm2Label->setGeometry(10, 150, 305, 0);

  OKButton = new QPushButton("OK", this);
  OKButton->setObjectName("OKButton");
  OKButton->setGeometry(133, 200, 75, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutForm::FormCreate(const TVersionRecord &record) {
  if (record.Translations.empty()) {
    // Without version information only the identifying labels are cleared.
    ProductNameLabel->clear();
    VersionLabel->clear();
    FileDescriptionLabel->clear();
    Firm1Label->clear();
    return;
  }
  const TVersionTranslation &translation = record.Translations.front();
  const auto entry = [&](std::string_view name) {
    return record.Query(VersionStringPath(translation, name)).value_or(std::string());
  };
  ProductName = entry("ProductName");
  ProductVersion = entry("ProductVersion");
  BuildDate = entry("BuildDate");
  DeveloperName = entry("DeveloperName");
  CompanyName = entry("CompanyName");
  FileDescription = entry("FileDescription");

  setWindowTitle(Text("About " + ProductName));
  ProductNameLabel->setText(Text(ProductName));
  VersionLabel->setText(Text("Version " + ProductVersion));
  BuildDateLabel->setText(Text("Build date " + BuildDate));
  DeveloperLabel->setText(Text("Developed by " + DeveloperName));
  FileDescriptionLabel->setText(Text(FileDescription));
  const auto [firstLine, secondLine] = SplitCompanyName(CompanyName);
  Firm1Label->setText(Text(firstLine));
  Firm2Label->setText(Text(secondLine));
}

// The word, the sign and the year sit side by side, centred in the panel.
void TAboutForm::PlaceNoticeLine() {
  constexpr int top = 63;
  constexpr int gap = 3;
  QLabel *const parts[] = {CopyrightLabel, CopyrightSignLabel, CopyrightYearLabel};
  int total = -gap;
  for (QLabel *label : parts)
    total += label->fontMetrics().horizontalAdvance(label->text()) + gap;
  int left = (PanelWidth - total) / 2;
  for (QLabel *label : parts) {
    const int width = label->fontMetrics().horizontalAdvance(label->text());
    label->setGeometry(left, top, width + 1, label->fontMetrics().height());
    left += width + gap;
  }
}
