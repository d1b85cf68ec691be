#pragma once

#include <QDialog>

#include <string>

class QTextEdit;

// The user guide as one RTF document, assembled from its fragments.
std::string HelpDocumentRtf();

// The help window: the fixed user guide in a read-only rich-text box. Created
// hidden at start-up; the main window shows it modally on F1.
class TShowHelpForm : public QDialog {
  Q_OBJECT

public:
  explicit TShowHelpForm(QWidget *parent = nullptr);
  ~TShowHelpForm() override;

  // Showing first moves the window to the bounds held in the settings.
  void setVisible(bool visible) override;

  QTextEdit *RichEdit = nullptr;

private:
  void FormShow();
  void FormDestroy();

  // Bounds are written back only once the window was placed from the settings,
  // so a run that never opens the guide keeps the stored bounds.
  bool WasShown = false;
};
