#pragma once

#include <QDialog>

class QComboBox;
class QPushButton;
class QRadioButton;

namespace lorimet {

class Engine;

// A field whose value the engine reads when the focus leaves it (the dialogs' OnExit handlers).
class NumberFieldWatcher;

// `TModul3`: the certified BOD of the reference solution and its dilution.
class GsoDialog : public QDialog {
    Q_OBJECT
  public:
    GsoDialog(Engine& engine, QWidget* parent);
    ~GsoDialog() override;
    // Shown modally with the certified-value field active; true when closed with OK.
    bool run();
    QComboBox* gsoNumber() const { return gsoNumber_; }
    QComboBox* rgso() const { return rgso_; }
    QPushButton* okButton() const { return okButton_; }

  private:
    Engine& engine_;
    QComboBox* gsoNumber_;
    QComboBox* rgso_;
    QPushButton* okButton_;
};

// `TModul2`: the sample's description, the kind of analysis and the dilution.
class SampleDialog : public QDialog {
    Q_OBJECT
  public:
    SampleDialog(Engine& engine, QWidget* parent);
    ~SampleDialog() override;
    bool run(const QString& caption);
    void setDescriptions(const QStringList& descriptions);
    QComboBox* nameProbeList() const { return nameProbeList_; }
    QComboBox* rProbe() const { return rProbe_; }
    QRadioButton* smallAnalis() const { return smallAnalis_; }
    QRadioButton* fullAnalis() const { return fullAnalis_; }
    QPushButton* okButton() const { return okButton_; }

  private:
    Engine& engine_;
    QComboBox* nameProbeList_;
    QComboBox* rProbe_;
    QRadioButton* smallAnalis_;
    QRadioButton* fullAnalis_;
    QPushButton* okButton_;
};

} // namespace lorimet
