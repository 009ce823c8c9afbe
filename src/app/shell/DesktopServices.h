// The desktop the file actions talk to: open and save panels, and the clipboard. Both sit behind
// small interfaces so that tests can answer a panel ("OK with this path", "Cancel") and hold a
// clipboard of their own. The Qt implementations use Qt's own (non-native) file dialogs, which
// follow the dark palette, and the system clipboard.
#pragma once

#include <QImage>
#include <QList>
#include <QUrl>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

class FilePanels {
public:
    virtual ~FilePanels() = default;
    /// A modal open panel for one existing file (no folders), showing `folder` first (the panel's
    /// own choice when empty); the chosen path, or none on cancel.
    [[nodiscard]] virtual std::optional<std::filesystem::path> chooseFileToOpen(
        const QString& title, const QStringList& nameFilters, const std::filesystem::path& folder) = 0;
    /// A modal save panel proposing `suggestedName` in `folder` (the panel's own choice when
    /// empty); the chosen path, or none on cancel. No name filter means any file name. A typed
    /// name without an extension gets `defaultSuffix` (when not empty) before the panel checks
    /// whether the file exists.
    [[nodiscard]] virtual std::optional<std::filesystem::path> chooseSaveLocation(const QString& title,
                                                                                  const std::filesystem::path& folder,
                                                                                  const QString& suggestedName,
                                                                                  const QStringList& nameFilters,
                                                                                  const QString& defaultSuffix) = 0;
};

class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    /// Replaces the whole clipboard by one plain text.
    virtual void setText(const std::string& text) = 0;
    /// The local files the clipboard names, in order; addresses of anything else do not count.
    [[nodiscard]] virtual std::vector<std::filesystem::path> localFiles() const = 0;
    /// The image data on the clipboard, or a null image.
    [[nodiscard]] virtual QImage image() const = 0;
};

class QtFilePanels final : public FilePanels {
public:
    [[nodiscard]] std::optional<std::filesystem::path> chooseFileToOpen(const QString& title,
                                                                        const QStringList& nameFilters,
                                                                        const std::filesystem::path& folder) override;
    [[nodiscard]] std::optional<std::filesystem::path> chooseSaveLocation(const QString& title,
                                                                          const std::filesystem::path& folder,
                                                                          const QString& suggestedName,
                                                                          const QStringList& nameFilters,
                                                                          const QString& defaultSuffix) override;
};

class QtPasteboard final : public Pasteboard {
public:
    void setText(const std::string& text) override;
    [[nodiscard]] std::vector<std::filesystem::path> localFiles() const override;
    [[nodiscard]] QImage image() const override;
};

/// The local files among `urls`, in order (the rule of paste and of drop).
[[nodiscard]] std::vector<std::filesystem::path> localFilesAmong(const QList<QUrl>& urls);

/// The open panel's name filter: every image format QImageReader can decode here.
[[nodiscard]] QStringList openableImageFilters();

}  // namespace ostrel
