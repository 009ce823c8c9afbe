#include "app/shell/DesktopServices.h"

#include "core/model/Localization.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QImageReader>
#include <QMimeData>
#include <QUrl>

#include <set>

namespace ostrel {

namespace {

/// A path's bytes as Qt's file name, and back: names that are not UTF-8 survive the round trip.
QString qPath(const std::filesystem::path& path) { return QFile::decodeName(QByteArray::fromStdString(path.string())); }
std::filesystem::path fromQPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

std::optional<std::filesystem::path> runDialog(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
    return fromQPath(files.front());
}

}  // namespace

std::optional<std::filesystem::path> QtFilePanels::chooseFileToOpen(const QString& title,
                                                                    const QStringList& nameFilters,
                                                                    const std::filesystem::path& folder) {
    QFileDialog dialog(QApplication::activeWindow(), title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!nameFilters.isEmpty()) dialog.setNameFilters(nameFilters);
    if (!folder.empty()) dialog.setDirectory(qPath(folder));
    return runDialog(dialog);
}

std::optional<std::filesystem::path> QtFilePanels::chooseSaveLocation(const QString& title,
                                                                      const std::filesystem::path& folder,
                                                                      const QString& suggestedName,
                                                                      const QStringList& nameFilters,
                                                                      const QString& defaultSuffix) {
    QFileDialog dialog(QApplication::activeWindow(), title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!nameFilters.isEmpty()) dialog.setNameFilters(nameFilters);
    dialog.setDefaultSuffix(defaultSuffix);
    if (!folder.empty()) dialog.setDirectory(qPath(folder));
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
        if (!path.isEmpty()) files.push_back(fromQPath(path));
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
