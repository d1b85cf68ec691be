#include "views/ShowInfo.h"
#include "data/DataToColor.h"
#include "data/NeuronDataFile.h"
#include "data/NeuronDataWriter.h"
#include "settings/Options.h"
#include "views/ViewContext.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using TSection = TNeuronDataWriter::TSection;

TSection Section(const std::string &name, int parent, int segments) {
  return {.Name = name,
          .Parent = parent,
          .Length = 10.0,
          .SegmentCount = segments,
          .Points = {{0, 0, 0, 1}, {10, 0, 0, 1}}};
}

// A loaded model behind the Info window, and the help keys it was asked for.
class TInfoContext : public TViewContext {
public:
  TInfoContext(const QTemporaryDir &dir, const std::vector<TSection> &sections) {
    const std::string path = dir.filePath("info.dat").toStdString();
    TNeuronDataWriter writer;
    int segments = 0;
    for (const TSection &section : sections)
      segments += section.SegmentCount;
    const std::vector<double> values(static_cast<size_t>(segments), 0.0);
    EXPECT_TRUE(writer.Create(path, {}, sections) && writer.WriteFrame(0.0, values) &&
                writer.Close())
        << writer.GetError();
    Data.Load(path);
  }
  const TNeuronDataFile &GetViewData() const override { return Data; }
  const TDataToColor &GetViewPalette() const override { return Palette; }
  std::string GetVariableMinText() const override { return "0"; }
  std::string GetVariableMaxText() const override { return "1"; }
  std::string GetTimeMinText() const override { return "0"; }
  std::string GetTimeMaxText() const override { return "1"; }
  TSelectedPointList &GetFtPoints() override { return Points; }
  void AddSelectedPoint(const std::string &, const std::string &) override {}
  void ShowHelpWindow(bool about) override { HelpRequests.push_back(about); }

  TNeuronDataFile Data;
  TDataToColor Palette;
  TSelectedPointList Points;
  std::vector<bool> HelpRequests;
};

TEST(ShowInfoTest, ListsItemsWithoutIndexSuffixThenTheHeaderTotals) {
  QTemporaryDir dir;
  // soma; dend[0] with a child; axon[0]; a trunk whose name begins with "[".
  TInfoContext context(dir,
                       {Section("soma", -1, 1), Section("dend[0]", 0, 5), Section("dend[1]", 1, 5),
                        Section("axon[0]", 0, 3), Section("[odd]", 0, 2)});
  ASSERT_EQ(context.Data.GetItemCount(), 4);
  // Unchecked items are listed like the others.
  context.Data.GetItemChecked()[1] = 0;
  EXPECT_EQ(ModelInfoText(context.Data), "soma\n"
                                         "   number of sections = 1, number of segments = 1\n"
                                         "dend\n"
                                         "   number of sections = 2, number of segments = 10\n"
                                         "axon\n"
                                         "   number of sections = 1, number of segments = 3\n"
                                         "\n"
                                         "   number of sections = 1, number of segments = 2\n"
                                         "\n"
                                         "Total number of sections = 5\n"
                                         "Total number of segments = 16");
}

TEST(ShowInfoTest, EmptyModelGivesZeroTotals) {
  const TNeuronDataFile empty;
  EXPECT_EQ(ModelInfoText(empty), "\nTotal number of sections = 0\nTotal number of segments = 0");
}

TEST(ShowInfoTest, WindowRewritesItsTextOnEveryShowingAndPassesHelpKeys) {
  QTemporaryDir dir;
  TInfoContext context(dir, {Section("soma", -1, 1), Section("dend[0]", 0, 4)});
  TOptions::Instance().WindowInfo.Title = "Model";
  TShowInfoForm form(context);
  EXPECT_EQ(form.windowTitle(), "Model");
  EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(form.Memo->isReadOnly());
  EXPECT_EQ(form.Memo->lineWrapMode(), QPlainTextEdit::NoWrap);
  form.show();
  EXPECT_TRUE(form.Memo->toPlainText().startsWith("soma\n"));
  form.Memo->setPlainText("scribbled");
  form.hide();
  form.show();
  EXPECT_EQ(form.Memo->toPlainText().toStdString(), ModelInfoText(context.Data));

  QTest::keyClick(form.Memo, Qt::Key_F1);
  QTest::keyClick(form.Memo, Qt::Key_F1, Qt::ControlModifier);
  EXPECT_EQ(context.HelpRequests, std::vector<bool>({false, true}));
  TOptions::ReleaseInstance();
}

} // namespace
