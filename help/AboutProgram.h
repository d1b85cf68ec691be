#pragma once

#include "help/VersionRecord.h"

#include <QDialog>

#include <string>
#include <utility>

class QFrame;
class QLabel;
class QPushButton;

// Splits a company name into the two firm lines of the about window: the text up
// to and including the first comma, and the rest without its leading blanks. A
// name without a comma stays whole on the first line.
std::pair<std::string, std::string> SplitCompanyName(const std::string &company);

// The about window: name, version, build date, description, developer and company
// from the version record. Created hidden at start-up; shown modally on Ctrl+F1.
class TAboutForm : public QDialog {
  Q_OBJECT

public:
  explicit TAboutForm(QWidget *parent = nullptr,
                      const TVersionRecord &record = CompiledVersionRecord());

  QFrame *Panel = nullptr;
  QLabel *ProgramIcon = nullptr;
  QLabel *ProductNameLabel = nullptr;
  QLabel *VersionLabel = nullptr;
  QLabel *BuildDateLabel = nullptr;
  QLabel *CopyrightLabel = nullptr;
  QLabel *CopyrightSignLabel = nullptr;
  QLabel *CopyrightYearLabel = nullptr;
  QLabel *FileDescriptionLabel = nullptr;
  QLabel *DeveloperLabel = nullptr;
  QLabel *Firm1Label = nullptr;
  QLabel *Firm2Label = nullptr;
  QPushButton *OKButton = nullptr;

private:
  void CreateControls();
  void FormCreate(const TVersionRecord &record);
  void PlaceNoticeLine();

  std::string ProductName;
  std::string ProductVersion;
  std::string BuildDate;
  std::string FileDescription;
  std::string DeveloperName;
  std::string CompanyName;
};
