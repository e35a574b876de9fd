#pragma once

#include <QColor>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <vector>

class QTabBar;

namespace tellvane {

// The controls a diagnostic screen is made of, made at run time by kind name
// ("Label", "Frame", "TabContainer", "Shape", "TextBox") and set by property
// name as the configuration language names them ("Caption", "Top", "Left",
// "Width", "Height" in twips, "Visible", "BackColor", ...). Setting a property
// the kind does not have throws Failure(PropertyNotSupported); a value it
// cannot take throws Failure(InvalidPropertyValue) or Failure(TypeMismatch).
class DynControl {
public:
    virtual ~DynControl() = default;

    virtual QWidget* widget() = 0;
    virtual QString kind() const = 0;
    // The property names of the kind, in the order a dump lists them.
    virtual const QStringList& propertyNames() const = 0;
    // Where controls made inside this one go: the control itself, or the
    // current page of a tab container. Null for kinds that hold no controls.
    virtual QWidget* childParent() { return nullptr; }

    void setProperty(const QString& name, const QVariant& value);
    QVariant property(const QString& name) const;
    bool supports(const QString& name) const { return propertyNames().contains(name); }
    // The properties set so far, in the order of propertyNames().
    QStringList assignedProperties() const;

    // Makes a control of a kind; null for an unknown kind name.
    static DynControl* create(const QString& kind, const QString& name, QWidget* parent);

protected:
    virtual void apply(const QString& name, const QVariant& value) = 0;
    virtual QVariant read(const QString& name) const = 0;
    void applyGeometry();

    int m_top = 0;
    int m_left = 0;
    int m_width = 0;
    int m_height = 0;

private:
    QStringList m_assigned;
};

// A colour of the configuration language (0x00BBGGRR) as a QColor.
QColor colourFromValue(std::int32_t bgr);

namespace dynvalue {
int toTwips(const QVariant& value);          // rounded; Overflow beyond 32 bits
int toSize(const QVariant& value);           // as toTwips, and not negative
std::int32_t toColour(const QVariant& value);  // 0 to 0xFFFFFF
bool toFlag(const QVariant& value);          // true/false in any case, or a number
int toAlignment(const QVariant& value);      // 0 left, 1 right, 2 centre
}  // namespace dynvalue

class DynLabel final : public QLabel, public DynControl {
public:
    explicit DynLabel(QWidget* parent);
    QWidget* widget() override { return this; }
    QString kind() const override { return QStringLiteral("Label"); }
    const QStringList& propertyNames() const override;

protected:
    void apply(const QString& name, const QVariant& value) override;
    QVariant read(const QString& name) const override;

private:
    int m_alignment = 0;
    bool m_autoSize = false;
    std::int32_t m_back = -1;
    std::int32_t m_fore = -1;
};

class DynFrame final : public QGroupBox, public DynControl {
public:
    explicit DynFrame(QWidget* parent);
    QWidget* widget() override { return this; }
    QString kind() const override { return QStringLiteral("Frame"); }
    const QStringList& propertyNames() const override;
    QWidget* childParent() override { return this; }

protected:
    void apply(const QString& name, const QVariant& value) override;
    QVariant read(const QString& name) const override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::int32_t m_back = -1;
    std::int32_t m_fore = -1;
};

// A tab container: a row of page tabs over pages that all span the whole
// control, so that a control's Top and Left on a page are measured from the
// container's own corner.
class DynTabContainer final : public QWidget, public DynControl {
public:
    explicit DynTabContainer(QWidget* parent);
    QWidget* widget() override { return this; }
    QString kind() const override { return QStringLiteral("TabContainer"); }
    const QStringList& propertyNames() const override;
    QWidget* childParent() override;

    int pageCount() const { return static_cast<int>(m_pages.size()); }
    int currentPage() const { return m_current; }
    QWidget* page(int index) const { return m_pages.at(static_cast<std::size_t>(index)); }
    QString pageCaption(int index) const;
    // The page a widget made inside this container lies on, or -1.
    int pageOf(const QWidget* child) const;
    // Where the row of tabs lies; controls of the pages under it are hidden.
    QRect tabStrip() const;

protected:
    void apply(const QString& name, const QVariant& value) override;
    QVariant read(const QString& name) const override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setPageCount(int count);
    void setCurrent(int index);
    void layoutPages();

    QTabBar* m_bar;
    std::vector<QWidget*> m_pages;
    int m_current = 0;
    int m_tabsPerRow = 0;
    std::int32_t m_back = -1;
    std::int32_t m_fore = -1;
};

// A filled rectangle: the lamp of a BIT indicator.
class DynShape final : public QWidget, public DynControl {
public:
    explicit DynShape(QWidget* parent);
    QWidget* widget() override { return this; }
    QString kind() const override { return QStringLiteral("Shape"); }
    const QStringList& propertyNames() const override;

    // The decoder's way in: a repaint only when the colour changes.
    void setBackColorValue(std::int32_t bgr);
    std::int32_t backColorValue() const { return m_back; }

protected:
    void apply(const QString& name, const QVariant& value) override;
    QVariant read(const QString& name) const override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::int32_t m_back = 0xFFFFFF;
    int m_backStyle = 0;
};

// A value box: shows a text, the value of a BWLTEXT or BFTEXT indicator.
class DynTextBox final : public QFrame, public DynControl {
public:
    explicit DynTextBox(QWidget* parent);
    QWidget* widget() override { return this; }
    QString kind() const override { return QStringLiteral("TextBox"); }
    const QStringList& propertyNames() const override;

    // The decoder's way in: a repaint only when the text changes.
    void setTextValue(const QString& text);
    QString text() const { return m_text; }

protected:
    void apply(const QString& name, const QVariant& value) override;
    QVariant read(const QString& name) const override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    int m_alignment = 0;
    std::int32_t m_back = 0xFFFFFF;
    std::int32_t m_fore = 0x000000;
};

}  // namespace tellvane
