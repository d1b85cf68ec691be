#pragma once

#include <QWidget>

#include <string>

class QPlainTextEdit;
class TNeuronDataFile;
class TOptions;
class TViewContext;

// The numbers of sections and segments of every neuron item of the data, then
// the header's totals, one line each.
std::string ModelInfoText(const TNeuronDataFile &data);

// The model information window of a Control Window: a read-only text of the
// item and model counts, written anew every time the window is shown. Its
// caption is the WindowInfo Title setting; the opener places it.
class TShowInfoForm : public QWidget {
  Q_OBJECT

public:
  // context must outlive the window.
  explicit TShowInfoForm(TViewContext &context, QWidget *parent = nullptr);
  ~TShowInfoForm() override;

  QPlainTextEdit *Memo = nullptr;

protected:
  void showEvent(QShowEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void FormShow();

  TOptions &Settings;
  TViewContext &Context;
};
