#include "Controls.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <qdrawutil.h>

#include <algorithm>
#include <memory>

void InitGuiResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(Dormix);
        return true;
    }();
    (void)done;
}

void SetStandardButtonIcons(QAbstractButton* ok, QAbstractButton* cancel) {
    if (ok != nullptr)
        ok->setIcon(ok->style()->standardIcon(QStyle::SP_DialogOkButton, nullptr, ok));
    if (cancel != nullptr)
        cancel->setIcon(
            cancel->style()->standardIcon(QStyle::SP_DialogCancelButton, nullptr, cancel));
}

// --- TImage ---

TImage::TImage(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
}

void TImage::setPixmap(const QPixmap& pixmap) {
    pixmap_ = pixmap;
    update();
}

void TImage::setStretch(bool on) {
    stretch_ = on;
    update();
}

void TImage::setProportional(bool on) {
    proportional_ = on;
    update();
}

void TImage::setCenter(bool on) {
    center_ = on;
    update();
}

QRect TImage::PictureRect() const {
    if (pixmap_.isNull())
        return {};
    QSize size = pixmap_.deviceIndependentSize().toSize();
    if (stretch_) {
        size = proportional_ ? size.scaled(this->size(), Qt::KeepAspectRatio) : this->size();
    }
    QPoint topLeft(0, 0);
    if (center_)
        topLeft = QPoint((width() - size.width()) / 2, (height() - size.height()) / 2);
    return QRect(topLeft, size);
}

void TImage::paintEvent(QPaintEvent*) {
    if (pixmap_.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(PictureRect(), pixmap_);
}

void TImage::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
    event->accept();
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click)
        emit Click();
}

void TImage::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    emit MouseMove();
}

// --- TPanel ---

TPanel::TPanel(QWidget* parent) : QFrame(parent) {
    setMouseTracking(true);
}

void TPanel::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    emit MouseMove();
}

// --- TStatusBar ---

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void TStatusBar::ensurePanels(int count) {
    if (count > PanelCount())
        panels_.resize(static_cast<size_t>(count));
}

QString TStatusBar::PanelText(int index) const {
    if (index < 0 || index >= PanelCount())
        return {};
    return panels_[static_cast<size_t>(index)].text;
}

void TStatusBar::SetPanelText(int index, const QString& text) {
    if (index < 0 || index >= PanelCount())
        return;
    auto& panel = panels_[static_cast<size_t>(index)];
    if (panel.text == text)
        return;
    panel.text = text;
    update(PanelRect(index));
}

int TStatusBar::PanelWidth(int index) const {
    if (index < 0 || index >= PanelCount())
        return 0;
    return panels_[static_cast<size_t>(index)].width;
}

void TStatusBar::SetPanelWidth(int index, int width) {
    if (index < 0 || index >= PanelCount())
        return;
    panels_[static_cast<size_t>(index)].width = width;
    update();
}

int TStatusBar::TextWidth(const QString& text) const {
    return fontMetrics().horizontalAdvance(text);
}

QRect TStatusBar::PanelRect(int index) const {
    if (index < 0 || index >= PanelCount())
        return {};
    int left = 0;
    for (int i = 0; i < index; ++i)
        left += std::max(0, panels_[static_cast<size_t>(i)].width);
    int w = std::max(0, panels_[static_cast<size_t>(index)].width);
    if (index == PanelCount() - 1)
        w = std::max(w, width() - left);
    return QRect(left, 0, w, height());
}

QStringList TStatusBar::PanelTexts() const {
    QStringList texts;
    for (const auto& panel : panels_)
        texts << panel.text;
    return texts;
}

void TStatusBar::setPanelTexts(const QStringList& texts) {
    ensurePanels(static_cast<int>(texts.size()));
    for (int i = 0; i < texts.size(); ++i)
        panels_[static_cast<size_t>(i)].text = texts[i];
    update();
}

QStringList TStatusBar::PanelWidthTexts() const {
    QStringList widths;
    for (const auto& panel : panels_)
        widths << QString::number(panel.width);
    return widths;
}

void TStatusBar::setPanelWidths(const QStringList& widths) {
    ensurePanels(static_cast<int>(widths.size()));
    for (int i = 0; i < widths.size(); ++i)
        panels_[static_cast<size_t>(i)].width = widths[i].toInt();
    update();
}

QSize TStatusBar::sizeHint() const {
    return QSize(200, std::max(19, fontMetrics().height() + 6));
}

void TStatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (int i = 0; i < PanelCount(); ++i) {
        const QRect r = PanelRect(i);
        if (r.width() <= 0)
            continue;
        // A sunken panel, as status bar panels look.
        const QRect panelRect = r.adjusted(0, 2, -2, 0);
        qDrawShadePanel(&painter, panelRect, palette(), true, 1);
        const QRect textRect = panelRect.adjusted(3, 1, -3, -1);
        painter.save();
        painter.setClipRect(textRect);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         panels_[static_cast<size_t>(i)].text);
        painter.restore();
    }
}

void TStatusBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit Resize();
}

// --- TCheckListBox ---

namespace {

// Rows of one height: the list's item height, or its font's line height when
// that is larger.
class RowHeightDelegate : public QStyledItemDelegate {
public:
    explicit RowHeightDelegate(TCheckListBox* list) : QStyledItemDelegate(list), list_(list) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(list_->RowHeight());
        return size;
    }

private:
    TCheckListBox* list_;
};

} // namespace

TCheckListBox::TCheckListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setItemDelegate(new RowHeightDelegate(this)); // owned by this list
    connect(this, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (silent_ != 0)
            return;
        // The user's tick: reported for the selected row, so the row that
        // changed becomes the selected one first.
        const int index = row(item);
        if (ItemIndex() != index)
            setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
        emit ClickCheck(index);
    });
}

void TCheckListBox::setItemHeight(int height) {
    itemHeight_ = height;
    doItemsLayout();
}

int TCheckListBox::RowHeight() const {
    return std::max(itemHeight_, fontMetrics().height());
}

QListWidgetItem* TCheckListBox::makeItem(const QString& text, bool checked) {
    auto item = std::make_unique<QListWidgetItem>(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    return item.release(); // the list takes it at once
}

void TCheckListBox::AddRow(const QString& text, bool checked) {
    InsertRow(count(), text, checked);
}

void TCheckListBox::InsertRow(int index, const QString& text, bool checked) {
    ++silent_;
    insertItem(index, makeItem(text, checked));
    --silent_;
}

void TCheckListBox::SetRowText(int index, const QString& text) {
    if (QListWidgetItem* it = item(index)) {
        ++silent_;
        it->setText(text);
        --silent_;
    }
}

void TCheckListBox::DeleteRow(int index) {
    ++silent_;
    delete takeItem(index);
    --silent_;
}

bool TCheckListBox::Checked(int index) const {
    const QListWidgetItem* it = item(index);
    return it != nullptr && it->checkState() == Qt::Checked;
}

void TCheckListBox::SetChecked(int index, bool checked) {
    if (QListWidgetItem* it = item(index)) {
        ++silent_;
        it->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        --silent_;
    }
}

void TCheckListBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // The context menu follows from the window system; the selection stays.
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid())
            setCurrentIndex(index);
    }
    QListWidget::mousePressEvent(event);
}

void TCheckListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit DblClick();
}

void TCheckListBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Space && event->key() != Qt::Key_Select) {
        QListWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    // Not silent: this is the user's tick, reported through itemChanged.
    if (QListWidgetItem* it = item(ItemIndex()))
        it->setCheckState(it->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

int TCheckListBox::ItemIndex() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}
