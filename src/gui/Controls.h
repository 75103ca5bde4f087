// Small controls the windows are built from: a picture, a panel that reports
// mouse moves, a status bar made of panels, and a check list box.
#pragma once

#include <QFrame>
#include <QListWidget>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

class QAbstractButton;

// Registers the pictures of the windows (the static library's resources).
// Safe to call more than once.
void InitGuiResources();

// Gives the buttons of the standard OK and Cancel kinds the style's glyphs;
// either may be null.
void SetStandardButtonIcons(QAbstractButton* ok, QAbstractButton* cancel);

// A picture: draws its pixmap at the top left, centred, or stretched to the
// control (optionally keeping its proportions). Reports clicks and mouse moves.
class TImage : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QPixmap pixmap READ pixmap WRITE setPixmap)
    Q_PROPERTY(bool stretch READ stretch WRITE setStretch)
    Q_PROPERTY(bool proportional READ proportional WRITE setProportional)
    Q_PROPERTY(bool center READ center WRITE setCenter)

public:
    explicit TImage(QWidget* parent = nullptr);

    QPixmap pixmap() const { return pixmap_; }
    void setPixmap(const QPixmap& pixmap);
    bool stretch() const { return stretch_; }
    void setStretch(bool on);
    bool proportional() const { return proportional_; }
    void setProportional(bool on);
    bool center() const { return center_; }
    void setCenter(bool on);

    // Where the pixmap is drawn, in the control's coordinates.
    QRect PictureRect() const;

signals:
    void Click();
    void MouseMove();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QPixmap pixmap_;
    bool stretch_ = false;
    bool proportional_ = false;
    bool center_ = false;
    bool pressed_ = false;
};

// A frame that reports mouse moves over its own area (not over its children).
class TPanel : public QFrame {
    Q_OBJECT

public:
    explicit TPanel(QWidget* parent = nullptr);

signals:
    void MouseMove();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
};

// A status bar of panels laid out from the left, each with a text and a width
// in pixels; the last panel runs to the right edge. Widths change only when
// set; a negative width draws as an empty panel.
class TStatusBar : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QStringList panelTexts READ PanelTexts WRITE setPanelTexts)
    Q_PROPERTY(QStringList panelWidths READ PanelWidthTexts WRITE setPanelWidths)

public:
    explicit TStatusBar(QWidget* parent = nullptr);

    int PanelCount() const { return static_cast<int>(panels_.size()); }
    QString PanelText(int index) const;
    void SetPanelText(int index, const QString& text);
    int PanelWidth(int index) const;
    void SetPanelWidth(int index, int width);
    // Pixel width of a text in the bar's font.
    int TextWidth(const QString& text) const;
    // The panel rectangle as drawn (the last one is widened to the edge).
    QRect PanelRect(int index) const;

    // Set-up from the window definition: one entry per panel.
    QStringList PanelTexts() const;
    void setPanelTexts(const QStringList& texts);
    QStringList PanelWidthTexts() const;
    void setPanelWidths(const QStringList& widths);

    QSize sizeHint() const override;

signals:
    // After every change of size, including the first layout.
    void Resize();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Panel {
        QString text;
        int width = 50;
    };
    std::vector<Panel> panels_;
    void ensurePanels(int count);
};

// A list of rows with a check box each. Only the user's own ticks are
// reported (ClickCheck, after the change, always for the selected row: a box
// ticked on another row selects that row first); changes made through the
// functions below are silent. Rows are never edited in place.
class TCheckListBox : public QListWidget {
    Q_OBJECT
    Q_PROPERTY(int itemHeight READ ItemHeight WRITE setItemHeight)

public:
    explicit TCheckListBox(QWidget* parent = nullptr);

    // Rows are at least this high, or the font's line height if that is more.
    int ItemHeight() const { return itemHeight_; }
    void setItemHeight(int height);
    int RowHeight() const;

    void AddRow(const QString& text, bool checked = false);
    void InsertRow(int index, const QString& text, bool checked = false);
    // Keeps the row's check mark and the selection.
    void SetRowText(int index, const QString& text);
    void DeleteRow(int index);
    bool Checked(int index) const;
    void SetChecked(int index, bool checked);
    // The selected row, -1 for none.
    int ItemIndex() const;

signals:
    void ClickCheck(int index);
    // A double click with the left button anywhere in the list.
    void DblClick();

protected:
    // A left press on a row, its check box included, selects that row first.
    // A right press leaves the selection alone: it only opens the pop-up menu.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // The space bar toggles the selected row's box; without a selected row it
    // does nothing.
    void keyPressEvent(QKeyEvent* event) override;

private:
    int itemHeight_ = 13;
    int silent_ = 0;
    QListWidgetItem* makeItem(const QString& text, bool checked);
};
