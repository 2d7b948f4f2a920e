#pragma once

#include "engine/Interfaces.h"

class QWidget;

namespace lorimet {

class GsoDialog;
class SampleDialog;

// The operator's side with real modal windows; their nested event loops keep lines and ticks flowing.
class QtOperator : public Operator {
  public:
    explicit QtOperator(QWidget* parent) : parent_(parent) {}
    void setDialogs(GsoDialog* gso, SampleDialog* sample) {
        gso_ = gso;
        sample_ = sample;
    }
    Answer messageBox(BeepKind kind, const QString& caption, const QString& text, Buttons buttons) override;
    bool runGsoDialog(Engine& engine) override;
    bool runSampleDialog(Engine& engine, const QString& caption) override;
    std::optional<QString> saveFileName(const QString& title, const QString& folder,
                                        const QString& proposedName, const QString& filter) override;
    std::optional<QString> openFileName(const QString& title, const QString& folder,
                                        const QString& filter) override;

  private:
    QWidget* parent_;
    GsoDialog* gso_ = nullptr;
    SampleDialog* sample_ = nullptr;
};

} // namespace lorimet
