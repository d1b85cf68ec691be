#include "views/ShowInfo.h"

#include "data/NeuronDataFile.h"
#include "settings/Options.h"
#include "settings/SettingsText.h"
#include "views/ViewContext.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <cstdio>

std::string ModelInfoText(const TNeuronDataFile &data) {
  const auto &sections = data.GetSections();
  const auto &first = data.GetItemFirstSection();
  std::string text;
  char line[128];
  for (int i = 0; i < data.GetItemCount(); ++i) {
    const std::string &name = sections[static_cast<size_t>(first[i])].Name;
    // "dend[0]" names the trunk of the item "dend".
    text += name.substr(0, name.find('[')) + "\n";
    int segments = 0;
    for (int k = first[i]; k < first[i + 1]; ++k)
      segments += sections[static_cast<size_t>(k)].SegmentCount;
    std::snprintf(line, sizeof line, "   number of sections = %d, number of segments = %d\n",
                  first[i + 1] - first[i], segments);
    text += line;
  }
  text += "\n";
  std::snprintf(line, sizeof line, "Total number of sections = %d\n",
                data.GetHeader().SectionCount);
  text += line;
  std::snprintf(line, sizeof line, "Total number of segments = %d", data.GetHeader().SegmentCount);
  text += line;
  return text;
}

TShowInfoForm::TShowInfoForm(TViewContext &context, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), Settings(TOptions::Instance()),
      Context(context) {
  // Closing only hides the window; that must never end the application.
  setAttribute(Qt::WA_QuitOnClose, false);
  setWindowTitle(SettingsText(Settings.WindowInfo.Title));
  Memo = new QPlainTextEdit(this);
  Memo->setObjectName("Memo");
  Memo->setReadOnly(true);
  Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo->setTabChangesFocus(false);
  Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // F1 and Ctrl+F1 reach the window before the text box.
  Memo->installEventFilter(this);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Memo);
}

TShowInfoForm::~TShowInfoForm() = default;

void TShowInfoForm::showEvent(QShowEvent *event) {
  FormShow();
  QWidget::showEvent(event);
}

bool TShowInfoForm::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::KeyPress) {
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_F1) {
      Context.ShowHelpWindow(key->modifiers().testFlag(Qt::ControlModifier));
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TShowInfoForm::FormShow() {
  Memo->setPlainText(QString::fromStdString(ModelInfoText(Context.GetViewData())));
}
