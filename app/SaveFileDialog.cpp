#include "app/SaveFileDialog.h"

#include "text/FileNames.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

namespace lorimet {
namespace {

// The extension goes onto the name before the dialog looks at it, so that the dialog's own question about
// replacing a file names the file that will really be written. Qt's default suffix cannot do it: it adds
// nothing to a name with a dot, and the proposed names have dots of their own ("Отчёт от 10.12.26 г").
class SaveFileDialog : public QFileDialog {
  public:
    SaveFileDialog(QWidget* parent, const FileRequest& request)
        : QFileDialog(parent, request.title, request.folder, request.filter.section(u'|', 0, 0)),
          extension_(request.suffix),
          preview_(request.picturePreview ? QDir(request.folder).filePath(request.proposedName) : QString()) {
        setObjectName(request.objectName);
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        // The platform's own dialog would take the name as it stands.
        setOption(QFileDialog::DontUseNativeDialog);
        selectFile(request.proposedName);
    }

    void accept() override {
        const QStringList files = selectedFiles();
        if (files.size() == 1 && !QFileInfo(files.constFirst()).isDir()) {
            const QString full = withExtension(files.constFirst(), extension_);
            if (full != files.constFirst()) {
                // The name field is what the dialog reads; selectFile leaves it alone while it has the focus.
                auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                if (name && !name->text().isEmpty())
                    name->setText(name->text() + full.mid(files.constFirst().size()));
                else
                    selectFile(full);
            }
            // The preview under the proposed name is the program's own file, made for this dialog.
            setOption(QFileDialog::DontConfirmOverwrite,
                      !preview_.isEmpty() && QFileInfo(full) == QFileInfo(preview_));
        }
        QFileDialog::accept();
    }

  private:
    QString extension_;
    QString preview_;
};

void addPicturePreview(QFileDialog& dialog, const QString& firstPicture) {
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (!grid)
        return;
    auto* preview = new QLabel(&dialog);
    preview->setObjectName(QStringLiteral("Preview"));
    preview->setFixedSize(200, 150);
    preview->setAlignment(Qt::AlignCenter);
    preview->setFrameShape(QFrame::StyledPanel);
    grid->addWidget(preview, 0, grid->columnCount(), grid->rowCount(), 1);
    auto show = [preview](const QString& path) {
        const QPixmap picture(path);
        preview->setPixmap(picture.isNull() ? QPixmap()
                                            : picture.scaled(preview->size() - QSize(4, 4),
                                                             Qt::KeepAspectRatio, Qt::SmoothTransformation));
    };
    QObject::connect(&dialog, &QFileDialog::currentChanged, preview, show);
    show(firstPicture);
}

} // namespace

std::optional<QString> chooseSaveFile(QWidget* parent, const FileRequest& request) {
    SaveFileDialog dialog(parent, request);
    if (request.picturePreview)
        addPicturePreview(dialog, QDir(request.folder).filePath(request.proposedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    // Accepted with its extension; the check again covers a dialog accepted some other way.
    return withExtension(dialog.selectedFiles().constFirst(), request.suffix);
}

} // namespace lorimet
