#pragma once

#include <QAbstractButton>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QActionGroup;
class QMenu;

namespace quillora {

// A flat, softly tinted button showing the current choice's title and a chevron; pressing it
// (or Space, Return or Down while it has focus) opens a menu of the rows, the current one
// ticked, and picking a row makes it the choice and closes the menu. This base knows rows by
// their index; FlatPickerView<Option> below gives it options of any type.
class FlatPicker : public QAbstractButton {
    Q_OBJECT
public:
    explicit FlatPicker(QWidget* parent = nullptr);

    // The rows' titles, in order, shown as they stand.
    void setRows(const QStringList& titles);
    QStringList rows() const { return m_rows; }
    // The ticked row (-1: none) and the text of the button, which need not be a row's.
    void setCurrent(int row, const QString& title);
    int currentRow() const { return m_currentRow; }
    QString title() const { return m_title; }
    // The button is never wider than this (absent: as wide as its content); a longer title is cut.
    void setMaxWidth(std::optional<int> width);

    // The menu, while it is open.
    bool isExpanded() const;
    QMenu* menu() const { return m_menu; }
    void setExpanded(bool expanded);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The user picked a row (also the one already current).
    void rowPicked(int row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void openMenu();
    int titleWidth() const;
    QSize contentSize() const;

    QStringList m_rows;
    int m_currentRow = -1;
    QString m_title;
    std::optional<int> m_maxWidth;
    QMenu* m_menu;
    QActionGroup* m_group = nullptr;
};

// The picker over options of a type compared with ==: the caller owns the selection, the
// picker shows it and reports the user's choice. `title` names each option as shown.
template <typename Option>
class FlatPickerView : public FlatPicker {
public:
    using Title = std::function<QString(const Option&)>;

    FlatPickerView(std::vector<Option> options, Option selection, Title title, QWidget* parent = nullptr)
        : FlatPicker(parent)
        , m_options(std::move(options))
        , m_selection(std::move(selection))
        , m_title(std::move(title))
    {
        QStringList titles;
        for (const Option& option : m_options)
            titles.append(m_title(option));
        setRows(titles);
        refresh();
        connect(this, &FlatPicker::rowPicked, this, [this](int row) {
            if (row < 0 || row >= int(m_options.size()) || m_options[std::size_t(row)] == m_selection)
                return; // the current choice again only closes the menu
            m_selection = m_options[std::size_t(row)];
            refresh();
            if (m_onSelectionChanged)
                m_onSelectionChanged(m_selection);
        });
    }

    const Option& selection() const { return m_selection; }
    // Shows another selection without reporting it.
    void setSelection(Option selection)
    {
        m_selection = std::move(selection);
        refresh();
    }
    // Called with the new selection after the user picked another option.
    void onSelectionChanged(std::function<void(const Option&)> handler) { m_onSelectionChanged = std::move(handler); }

private:
    void refresh()
    {
        int current = -1;
        for (std::size_t i = 0; i < m_options.size() && current < 0; ++i)
            if (m_options[i] == m_selection)
                current = int(i);
        setCurrent(current, m_title(m_selection));
    }

    std::vector<Option> m_options;
    Option m_selection;
    Title m_title;
    std::function<void(const Option&)> m_onSelectionChanged;
};

} // namespace quillora
