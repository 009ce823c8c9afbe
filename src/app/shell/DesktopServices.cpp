#include "app/shell/DesktopServices.h"

#include "core/model/Localization.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QImageReader>
#include <QMimeData>
#include <QUrl>

#include <set>

namespace ostrel {

namespace {

std::optional<std::filesystem::path> runDialog(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
    return std::filesystem::path(files.front().toStdString());
}

}  // namespace

std::optional<std::filesystem::path> QtFilePanels::chooseFileToOpen(const QString& title,
                                                                    const QStringList& nameFilters) {
    QFileDialog dialog(QApplication::activeWindow(), title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!nameFilters.isEmpty()) dialog.setNameFilters(nameFilters);
    return runDialog(dialog);
}

std::optional<std::filesystem::path> QtFilePanels::chooseSaveLocation(const QString& title,
                                                                      const QString& suggestedName,
                                                                      const QStringList& nameFilters) {
    QFileDialog dialog(QApplication::activeWindow(), title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!nameFilters.isEmpty()) dialog.setNameFilters(nameFilters);
    dialog.selectFile(suggestedName);
    return runDialog(dialog);
}

void QtPasteboard::setText(const std::string& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(QString::fromStdString(text));
}

std::vector<std::filesystem::path> QtPasteboard::localFiles() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasUrls()) return {};
    return localFilesAmong(data->urls());
}

QImage QtPasteboard::image() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasImage()) return {};
    return qvariant_cast<QImage>(data->imageData());
}

std::vector<std::filesystem::path> localFilesAmong(const QList<QUrl>& urls) {
    std::vector<std::filesystem::path> files;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        if (!path.isEmpty()) files.emplace_back(path.toStdString());
    }
    return files;
}

QStringList openableImageFilters() {
    std::set<QString> patterns;
    for (const QByteArray& suffix : QImageReader::supportedImageFormats()) {
        patterns.insert(QStringLiteral("*.") + QString::fromLatin1(suffix).toLower());
    }
    patterns.insert(QStringLiteral("*.pdf"));  // the first page, rendered
    QStringList list(patterns.begin(), patterns.end());
    return {QString::fromStdString(L("Images", "Images")) + QStringLiteral(" (") + list.join(u' ') + u')'};
}

}  // namespace ostrel
