#include "app/views/sheets/SheetParts.h"

#include "app/remote/RemoteControl.h"
#include "app/shell/AppModel.h"
#include "app/shell/MenuText.h"
#include "app/shell/Theme.h"
#include "core/support/system/PortNumber.h"
#include "app/ui/Symbols.h"
#include "app/ui/UIFonts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace ostrel {

// SheetFrame --------------------------------------------------------------------------------------

SheetFrame::SheetFrame(std::function<void()> close, QWidget* parent)
    : QWidget(parent), close_(std::move(close)), layout_(new QVBoxLayout(this)) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    SheetParts::fillBackground(*this, Theme::panel());
    setFocusPolicy(Qt::StrongFocus);
}

void SheetFrame::rebuild() {
    if (content_ != nullptr) {
        layout_->removeWidget(content_);
        delete content_;
        content_ = nullptr;
    }
    defaultButton_.clear();
    content_ = buildContent();
    content_->setParent(this);
    layout_->addWidget(content_);
    content_->show();
}

void SheetFrame::setDefaultButton(QPushButton* button) {
    defaultButton_ = button;
    button->setDefault(true);
    button->setAutoDefault(true);
}

void SheetFrame::runClose() const {
    if (close_) close_();
}

void SheetFrame::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && defaultButton_) {
            defaultButton_->click();
            event->accept();
            return;
        }
        if (key == Qt::Key_Escape) {
            runClose();
            event->accept();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

// RoundedBox --------------------------------------------------------------------------------------

RoundedBox::RoundedBox(QColor fill, double radius, QWidget* parent, QColor border)
    : QWidget(parent), fill_(fill), border_(border), radius_(radius) {}

void RoundedBox::setFill(QColor fill) {
    fill_ = fill;
    update();
}

void RoundedBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double radius = radius_ < 0 ? height() / 2.0 : radius_;
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), radius, radius);
    painter.fillPath(shape, fill_);
    if (border_.alpha() > 0) {
        // Drawn inside the edge: the 1-point line's centre runs half a point in.
        QPainterPath inner;
        inner.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
        painter.setPen(QPen(border_, 1));
        painter.drawPath(inner);
    }
}

// ClickableRow ------------------------------------------------------------------------------------

ClickableRow::ClickableRow(QMargins padding, int spacing, QWidget* parent, QColor fill, double radius)
    : QAbstractButton(parent), row_(new QHBoxLayout(this)), fill_(fill), radius_(radius) {
    row_->setContentsMargins(padding);
    row_->setSpacing(spacing);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void ClickableRow::add(QWidget* child, Qt::Alignment alignment) {
    child->setParent(this);
    child->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    row_->addWidget(child, 0, alignment);
}

void ClickableRow::addStretch() { row_->addStretch(1); }

void ClickableRow::setFill(QColor fill) {
    fill_ = fill;
    update();
}

QSize ClickableRow::sizeHint() const { return row_->sizeHint(); }
QSize ClickableRow::minimumSizeHint() const { return row_->minimumSize(); }

void ClickableRow::paintEvent(QPaintEvent*) {
    if (fill_.alpha() == 0) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double radius = radius_ < 0 ? height() / 2.0 : radius_;
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), radius, radius);
    painter.fillPath(shape, fill_);
}

// SymbolGlyph -------------------------------------------------------------------------------------

SymbolGlyph::SymbolGlyph(std::string symbol, double points, QColor color, QSize box, QWidget* parent)
    : QWidget(parent), symbol_(std::move(symbol)), points_(points), color_(color), box_(box) {
    setFixedSize(box_);
    setAttribute(Qt::WA_TransparentForMouseEvents, true);
}

void SymbolGlyph::setColor(QColor color) {
    color_ = color;
    update();
}

void SymbolGlyph::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    Symbols::paint(painter, symbol_, QRectF(rect()), points_, color_);
}

// Helpers -----------------------------------------------------------------------------------------

namespace SheetParts {

QLabel* label(const QString& text, const QFont& font, QColor color, bool wraps, QWidget* parent) {
    auto* result = new QLabel(text, parent);
    result->setFont(font);
    result->setTextFormat(Qt::PlainText);
    result->setWordWrap(wraps);
    QPalette palette = result->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    result->setPalette(palette);
    return result;
}

QWidget* rule(Qt::Orientation orientation, QWidget* parent) {
    auto* line = new QWidget(parent);
    fillBackground(*line, Theme::separator());
    if (orientation == Qt::Horizontal) {
        line->setFixedHeight(1);
        line->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    } else {
        line->setFixedWidth(1);
        line->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }
    return line;
}

QPushButton* standardButton(const QString& title, QWidget* parent) {
    auto* button = new QPushButton(menuText(title), parent);
    button->setFont(UIFonts::text(12));
    button->setMinimumWidth(72);
    button->setFixedHeight(24);
    return button;
}

void fillBackground(QWidget& widget, QColor color) {
    widget.setAutoFillBackground(true);
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, color);
    widget.setPalette(palette);
}

std::uint16_t liveOSCPort(AppModel& model) {
    const RemoteControl* remote = model.remoteControl();
    return remote != nullptr ? remote->oscPort() : kOstrelDefaultOSCInPort;
}

std::uint16_t liveHTTPPort(AppModel& model) {
    const RemoteControl* remote = model.remoteControl();
    return remote != nullptr ? remote->httpPort() : kOstrelDefaultHTTPPort;
}

void onPortsChanged(AppModel& model, QObject* context, const std::function<void()>& refresh) {
    RemoteControl* remote = model.remoteControl();
    if (remote == nullptr) return;
    QObject::connect(remote, &RemoteControl::oscServerChanged, context, refresh);
    QObject::connect(remote, &RemoteControl::httpPortChanged, context, refresh);
}

std::string mcpBridgePath(const QString& programFolder) {
    const QString beside = QDir(programFolder).filePath(QStringLiteral("ostrel-mcp"));
    if (QFileInfo(beside).isExecutable()) return beside.toStdString();
#ifdef OSTREL_BUILD_MCP_BRIDGE
    // A program run from its build folder has no bridge beside it: the build made its own.
    const QString built = QStringLiteral(OSTREL_BUILD_MCP_BRIDGE);
    if (QFileInfo(built).isExecutable()) return built.toStdString();
#endif
    return beside.toStdString();
}

std::string mcpBridgePath() { return mcpBridgePath(QCoreApplication::applicationDirPath()); }

std::string versionBadgeText(const AppVersion& version) {
    std::string text = "v" + version.version;
    if (version.build) text += " (" + *version.build + ")";
    return text;
}

}  // namespace SheetParts

}  // namespace ostrel
