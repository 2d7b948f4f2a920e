#include "app/OperationDialogs.h"

#include "engine/Engine.h"
#include "text/Numbers.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace lorimet {

// Reads a number field when the focus leaves it, as the engine's rule wants: a bad entry is reported,
// the field emptied and the focus given back to it.
class NumberFieldWatcher : public QObject {
  public:
    NumberFieldWatcher(QComboBox* box, std::function<void(QString&)> onExit)
        : QObject(box), box_(box), onExit_(std::move(onExit)) {
        setObjectName(QStringLiteral("NumberFieldWatcher"));
        box->installEventFilter(this);
        if (box->lineEdit())
            box->lineEdit()->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::FocusOut || busy_)
            return false;
        // Only a move to another control leaves the field: not the window losing activation (a message
        // box over it, the dialog closing) nor a pop-up opening.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason ||
            !box_->window()->isVisible())
            return false;
        // Focus moving between the box and its own line edit is not leaving the field.
        if (QWidget* now = QApplication::focusWidget(); now == box_ || now == box_->lineEdit())
            return false;
        leave();
        return false;
    }
    // The dialog's OK reads the field as leaving it would when the focus is still in it, and when it holds
    // no positive number (emptied by an earlier rejected entry): the operator then gets the number-format
    // box and the field to correct, never an OK that silently does nothing. A field that holds a number
    // and was left keeps the value read then. True when the field holds a positive number.
    bool commitOnOk() {
        QWidget* now = QApplication::focusWidget();
        if (now == box_ || now == box_->lineEdit() || !holdsPositiveNumber(box_->currentText()))
            leave();
        return !box_->currentText().isEmpty();
    }

  private:
    void leave() {
        busy_ = true;
        QString text = box_->currentText();
        onExit_(text);
        if (text != box_->currentText()) {
            if (text.isEmpty())
                box_->clear(); // the error rule empties the text and the list
            box_->setEditText(text);
        }
        if (text.isEmpty()) {
            // The error box may leave no window active (or the main window, its owner): the field's own
            // window is activated too, or the focus would go nowhere.
            QTimer::singleShot(0, box_, [box = box_] {
                box->activateWindow();
                box->setFocus();
            });
        }
        busy_ = false;
    }

    // The engine's rule without its report: the first point stands for the comma.
    static bool holdsPositiveNumber(QString text) {
        if (const qsizetype point = text.indexOf(u'.'); point >= 0)
            text[point] = u',';
        const std::optional<double> value = parseFileReal(text);
        return value && *value > 0;
    }

    QComboBox* box_;
    std::function<void(QString&)> onExit_;
    bool busy_ = false;
};

namespace {

QComboBox* numberBox(QWidget* parent, const char* name, const QString& text, bool emptyItem) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    if (emptyItem)
        box->addItem(QString());
    box->setEditText(text);
    return box;
}

// The children outlive the dialog's own destructor: a radio button unchecked or a field losing the focus
// while they are deleted must not reach the engine, which may be gone by then.
void detachFromEngine(QDialog* dialog) {
    for (QObject* child : dialog->findChildren<QObject*>())
        QObject::disconnect(child, nullptr, dialog, nullptr);
    qDeleteAll(dialog->findChildren<QObject*>(QStringLiteral("NumberFieldWatcher")));
}

} // namespace

GsoDialog::GsoDialog(Engine& engine, QWidget* parent) : QDialog(parent), engine_(engine) {
    setObjectName(QStringLiteral("TModul3"));
    setWindowTitle(QStringLiteral("Раствор ГСО"));
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    auto* certified = new QGroupBox(QStringLiteral("Аттестованное БПК:"), this);
    auto* certifiedRow = new QHBoxLayout(certified);
    gsoNumber_ = numberBox(certified, "GSO_Number", QString(), false);
    certifiedRow->addWidget(gsoNumber_, 1);
    certifiedRow->addWidget(new QLabel(QStringLiteral("мг/л"), certified));
    auto* dilution = new QGroupBox(QStringLiteral("Разведение:"), this);
    auto* dilutionRow = new QHBoxLayout(dilution);
    rgso_ = numberBox(dilution, "RGSO", QStringLiteral("1"), true);
    dilutionRow->addWidget(rgso_);
    auto* fields = new QHBoxLayout;
    fields->addWidget(certified, 3);
    fields->addWidget(dilution, 2);
    layout->addLayout(fields);
    okButton_ = new QPushButton(QStringLiteral("Калибровка..."), this);
    okButton_->setObjectName(QStringLiteral("OkButton"));
    layout->addWidget(okButton_);
    auto* certifiedWatcher =
        new NumberFieldWatcher(gsoNumber_, [this](QString& text) { engine_.GSO_NumberExit(text); });
    auto* dilutionWatcher = new NumberFieldWatcher(rgso_, [this](QString& text) { engine_.RGSOExit(text); });
    connect(okButton_, &QPushButton::clicked, this, [this, certifiedWatcher, dilutionWatcher] {
        if (!certifiedWatcher->commitOnOk() || !dilutionWatcher->commitOnOk())
            return; // reported; the operator corrects the field
        engine_.GsoOkButtonClick();
        accept();
    });
    resize(217, 87);
}

GsoDialog::~GsoDialog() {
    detachFromEngine(this);
}

bool GsoDialog::run() {
    if (parentWidget())
        move(parentWidget()->geometry().center() - QPoint(width() / 2, height() / 2));
    gsoNumber_->setFocus();
    return exec() == QDialog::Accepted;
}

SampleDialog::SampleDialog(Engine& engine, QWidget* parent) : QDialog(parent), engine_(engine) {
    setObjectName(QStringLiteral("TModul2"));
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    auto* description = new QGroupBox(QStringLiteral("Описание пробы:"), this);
    auto* descriptionRow = new QHBoxLayout(description);
    nameProbeList_ = new QComboBox(description);
    nameProbeList_->setObjectName(QStringLiteral("NameProbeList"));
    nameProbeList_->setEditable(true);
    nameProbeList_->setInsertPolicy(QComboBox::NoInsert);
    nameProbeList_->setMaxVisibleItems(10);
    descriptionRow->addWidget(nameProbeList_);
    layout->addWidget(description);
    auto* kind = new QGroupBox(QStringLiteral("Вид анализа:"), this);
    auto* kindColumn = new QVBoxLayout(kind);
    smallAnalis_ = new QRadioButton(QStringLiteral("По начальным скоростям"), kind);
    smallAnalis_->setObjectName(QStringLiteral("SmallAnalis"));
    smallAnalis_->setChecked(true);
    fullAnalis_ = new QRadioButton(QStringLiteral("По конечным скоростям"), kind);
    fullAnalis_->setObjectName(QStringLiteral("FullAnalis"));
    kindColumn->addWidget(smallAnalis_);
    kindColumn->addWidget(fullAnalis_);
    auto* dilution = new QGroupBox(QStringLiteral("Разведение:"), this);
    auto* dilutionRow = new QHBoxLayout(dilution);
    rProbe_ = numberBox(dilution, "RProbe", QStringLiteral("1"), true);
    dilutionRow->addWidget(rProbe_);
    auto* middle = new QHBoxLayout;
    middle->addWidget(kind, 3);
    middle->addWidget(dilution, 2);
    layout->addLayout(middle);
    okButton_ = new QPushButton(QStringLiteral("Анализ пробы..."), this);
    okButton_->setObjectName(QStringLiteral("OkButton"));
    layout->addWidget(okButton_);
    connect(nameProbeList_, &QComboBox::editTextChanged, this,
            [this](const QString& text) { engine_.NameProbeListChange(text); });
    connect(smallAnalis_, &QRadioButton::toggled, this, [this](bool on) { engine_.setSmallAnalysis(on); });
    auto* dilutionWatcher =
        new NumberFieldWatcher(rProbe_, [this](QString& text) { engine_.RProbeExit(text); });
    connect(okButton_, &QPushButton::clicked, this, [this, dilutionWatcher] {
        if (dilutionWatcher->commitOnOk())
            accept();
    });
    resize(257, 145);
}

SampleDialog::~SampleDialog() {
    detachFromEngine(this);
}

void SampleDialog::setDescriptions(const QStringList& descriptions) {
    const QString text = nameProbeList_->currentText();
    const QSignalBlocker quiet(nameProbeList_);
    nameProbeList_->clear();
    nameProbeList_->addItems(descriptions);
    nameProbeList_->setEditText(text);
}

bool SampleDialog::run(const QString& caption) {
    setWindowTitle(caption);
    if (parentWidget())
        move(parentWidget()->geometry().center() - QPoint(width() / 2, height() / 2));
    nameProbeList_->setFocus();
    return exec() == QDialog::Accepted;
}

} // namespace lorimet
