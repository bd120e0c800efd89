#include "core/DirectoryPickerService.h"

#include <QFileDialog>

namespace quillora {

void DirectoryPickerService::pickDirectory(std::function<void(std::optional<QUrl>)> completion)
{
    auto* dialog = new QFileDialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setFilter(dialog->filter() | QDir::Hidden);
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Open Project"));
    dialog->setModal(false);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, completion = std::move(completion)](int result) {
        std::optional<QUrl> chosen;
        if (result == QDialog::Accepted) {
            if (const auto urls = dialog->selectedUrls(); !urls.isEmpty())
                chosen = urls.first();
        }
        completion(chosen);
    });
    dialog->show();
}

} // namespace quillora
