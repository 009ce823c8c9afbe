// Fixtures of the shell tests: a settings store that records what is read and written, panels
// that answer as a test says, a clipboard of their own, and a small drawing with a few strokes.
#pragma once

#include "app/shell/AppModel.h"
#include "core/support/app/SettingsStore.h"

#include <QImage>
#include <QPainter>

#include <deque>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ostrel::test {

class RecordingSettingsStore final : public SettingsStore {
public:
    [[nodiscard]] std::optional<std::string> string(const std::string& name) const override {
        reads.insert(name);
        return store.string(name);
    }
    [[nodiscard]] std::optional<std::vector<std::string>> stringList(const std::string& name) const override {
        reads.insert(name);
        return store.stringList(name);
    }
    void setString(const std::string& name, const std::string& value) override {
        writes.push_back(name);
        store.setString(name, value);
    }
    void setStringList(const std::string& name, const std::vector<std::string>& value) override {
        writes.push_back(name);
        store.setStringList(name, value);
    }
    void remove(const std::string& name) override {
        writes.push_back(name);
        store.remove(name);
    }

    MemorySettingsStore store;  // what is stored, reachable without being recorded
    mutable std::set<std::string> reads;
    std::vector<std::string> writes;
};

/// Each panel takes the next answer: a path ("OK") or none ("Cancel"); none when no answer is left.
class ScriptedPanels final : public FilePanels {
public:
    struct Shown {
        QString title;
        QString suggestedName;
        QStringList filters;
        std::filesystem::path folder;
        QString defaultSuffix;
    };

    std::optional<std::filesystem::path> chooseFileToOpen(const QString& title, const QStringList& filters,
                                                          const std::filesystem::path& folder) override {
        shown.push_back({title, {}, filters, folder, {}});
        return next();
    }
    std::optional<std::filesystem::path> chooseSaveLocation(const QString& title, const std::filesystem::path& folder,
                                                            const QString& suggestedName, const QStringList& filters,
                                                            const QString& defaultSuffix) override {
        shown.push_back({title, suggestedName, filters, folder, defaultSuffix});
        return next();
    }

    std::deque<std::optional<std::filesystem::path>> answers;
    std::vector<Shown> shown;

private:
    std::optional<std::filesystem::path> next() {
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class MemoryPasteboard final : public Pasteboard {
public:
    void setText(const std::string& value) override {
        text = value;
        files.clear();
        picture = QImage();
    }
    [[nodiscard]] std::vector<std::filesystem::path> localFiles() const override { return files; }
    [[nodiscard]] QImage image() const override { return picture; }

    std::optional<std::string> text;
    std::vector<std::filesystem::path> files;
    QImage picture;
};

/// What a model under test talks to: `settings`, panels that answer as the test says and a clipboard
/// of its own.
inline AppModel::Environment quietEnvironment(RecordingSettingsStore& settings) {
    AppModel::Environment env;
    env.settings = &settings;
    env.panels = std::make_shared<ScriptedPanels>();
    env.pasteboard = std::make_shared<MemoryPasteboard>();
    return env;
}

/// Three separate dark strokes on white: a quick document with a few paths.
inline QImage threeStrokeDrawing() {
    QImage image(160, 120, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(QPen(Qt::black, 4));
    painter.drawLine(20, 20, 140, 20);
    painter.drawLine(20, 60, 140, 70);
    painter.drawLine(30, 100, 130, 100);
    return image;
}

/// A small PNG file at `path` that the document can load.
inline void writeDrawing(const std::filesystem::path& path) {
    std::filesystem::create_directories(path.parent_path());
    threeStrokeDrawing().save(QString::fromStdString(path.string()), "PNG");
}

}  // namespace ostrel::test
