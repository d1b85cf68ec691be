#include "help/AboutProgram.h"

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QString LabelText(const TAboutForm &form, const char *name) {
  const QLabel *label = form.findChild<QLabel *>(name);
  return label ? label->text() : QString("<no label %1>").arg(name);
}

TVersionRecord RecordWith(const TVersionTranslation &translation,
                          std::vector<std::pair<std::string, std::string>> entries) {
  TVersionRecord record;
  record.Translations.push_back(translation);
  for (auto &[entry, text] : entries)
    record.Strings.emplace_back(VersionStringPath(translation, entry), std::move(text));
  return record;
}

} // namespace

TEST(AboutForm, ShowsTheCompiledVersionRecord) {
  TAboutForm form;
  EXPECT_EQ(form.windowTitle(), "About Dendrovia");
  EXPECT_EQ(LabelText(form, "ProductNameLabel"), "Dendrovia");
  EXPECT_EQ(LabelText(form, "VersionLabel"), "Version " DENDROVIA_EXPECTED_VERSION);
  EXPECT_TRUE(QRegularExpression(R"(^Build date \d{4}-\d\d-\d\d$)")
                  .match(LabelText(form, "BuildDateLabel"))
                  .hasMatch())
      << LabelText(form, "BuildDateLabel").toStdString();
  EXPECT_EQ(LabelText(form, "FileDescriptionLabel"), DENDROVIA_EXPECTED_DESCRIPTION);
  EXPECT_TRUE(LabelText(form, "DeveloperLabel").startsWith("Developed by "));
  EXPECT_GT(LabelText(form, "DeveloperLabel").size(), QString("Developed by ").size());
  // The company name holds a comma, so both firm lines carry text.
  EXPECT_TRUE(LabelText(form, "Firm1Label").endsWith(","));
  EXPECT_FALSE(LabelText(form, "Firm2Label").isEmpty());
  EXPECT_FALSE(LabelText(form, "Firm2Label").startsWith(" "));
  EXPECT_EQ(LabelText(form, "CopyrightSignLabel"), QString(QChar(0x00A9)));

  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_EQ(form.size(), QSize(342, 235));
  for (const QLabel *label : form.findChildren<QLabel *>()) {
    EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()))
        << label->objectName().toStdString() << " clips its text";
  }
}

TEST(AboutForm, ReadsTheTableOfTheFirstTranslation) {
  const TVersionTranslation german{0x0407, 0x04e4};
  const TVersionTranslation english{0x0409, 0x04b0};
  TVersionRecord record = RecordWith(german, {{"ProductName", "Baumschau"},
                                              {"BuildDate", "2024-02-29"},
                                              {"FileDescription", "Betrachter"},
                                              {"DeveloperName", "Team"},
                                              {"CompanyName", "Erste Firma, Zweite Zeile"}});
  record.Translations.push_back(english);
  record.Strings.emplace_back(VersionStringPath(english, "ProductName"), "Wrong");
  record.Strings.emplace_back(VersionStringPath(english, "ProductVersion"), "9.9");

  TAboutForm form(nullptr, record);
  EXPECT_EQ(VersionStringPath(german, "ProductName"), "\\StringFileInfo\\040704e4\\ProductName");
  EXPECT_EQ(form.windowTitle(), "About Baumschau");
  EXPECT_EQ(LabelText(form, "ProductNameLabel"), "Baumschau");
  EXPECT_EQ(LabelText(form, "VersionLabel"), "Version "); // missing from the first table
  EXPECT_EQ(LabelText(form, "BuildDateLabel"), "Build date 2024-02-29");
  EXPECT_EQ(LabelText(form, "FileDescriptionLabel"), "Betrachter");
  EXPECT_EQ(LabelText(form, "DeveloperLabel"), "Developed by Team");
  EXPECT_EQ(LabelText(form, "Firm1Label"), "Erste Firma,");
  EXPECT_EQ(LabelText(form, "Firm2Label"), "Zweite Zeile");
}

TEST(AboutForm, WithoutVersionInformationOnlyTheIdentifyingLabelsAreCleared) {
  TAboutForm form(nullptr, TVersionRecord{});
  EXPECT_EQ(form.windowTitle(), "About");
  EXPECT_EQ(LabelText(form, "ProductNameLabel"), "");
  EXPECT_EQ(LabelText(form, "VersionLabel"), "");
  EXPECT_EQ(LabelText(form, "FileDescriptionLabel"), "");
  EXPECT_EQ(LabelText(form, "Firm1Label"), "");
  EXPECT_EQ(LabelText(form, "BuildDateLabel"), "Build date");
  EXPECT_EQ(LabelText(form, "DeveloperLabel"), "Developed by");
}

TEST(AboutForm, CompanyNameSplitsAfterTheFirstComma) {
  using Lines = std::pair<std::string, std::string>;
  EXPECT_EQ(SplitCompanyName("First part, second part"), (Lines{"First part,", "second part"}));
  EXPECT_EQ(SplitCompanyName("A, B, C"), (Lines{"A,", "B, C"}));
  EXPECT_EQ(SplitCompanyName("A,B"), (Lines{"A,", "B"}));
  EXPECT_EQ(SplitCompanyName("A,  "), (Lines{"A,", ""}));
  EXPECT_EQ(SplitCompanyName("No comma"), (Lines{"No comma", ""}));
  EXPECT_EQ(SplitCompanyName(""), (Lines{"", ""}));
}

TEST(AboutForm, OkButtonAndEnterCloseTheModalDialogWithOk) {
  TAboutForm form;
  QTimer::singleShot(0, &form, [&] { QTest::mouseClick(form.OKButton, Qt::LeftButton); });
  EXPECT_EQ(form.exec(), QDialog::Accepted);

  QTimer::singleShot(0, &form, [&] { QTest::keyClick(&form, Qt::Key_Return); });
  EXPECT_EQ(form.exec(), QDialog::Accepted);
}
