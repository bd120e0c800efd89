#pragma once

#include <platform/FrameLoop.h>

#include <QAbstractButton>
#include <QFont>
#include <QImage>
#include <QPointer>

#include <vector>

class QWindow;

namespace quillora {

// "Suggest Features" with a light bulb, at the foot of the sidebar: pressing it asks for the
// feature-request board. Its label and border carry a gradient whose bright band sweeps across
// the button, one pass every six seconds, for as long as the button can be seen: it waits while
// the button is hidden or its window minimised or covered.
class FeedbackButtonView : public QAbstractButton {
    Q_OBJECT
public:
    static QString title() { return QStringLiteral("Suggest Features"); }

    explicit FeedbackButtonView(QWidget* parent = nullptr);

    // Where the band is, in label widths: from -1 (all left of the label) to 4 (all right of it).
    qreal glimmerPhase() const { return m_phase; }
    void setGlimmerPhase(qreal phase);
    // The phases of the sweep's frames, one period: the band's steps across the label.
    static std::vector<qreal> sweepPhases();
    bool isGlimmering() const { return m_glimmer.state() == platform::FrameLoop::State::running; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // How far into the button its border's stroke reaches, smoothing and rounded corners included.
    static constexpr int borderReach = 4;

    void followVisibility();
    QSize labelSize() const;
    QRect labelRect() const;
    // The label's glyphs and icon as a mask, and the mask filled with the base colour: the same
    // from frame to frame of the sweep, made again when what they are drawn from changes.
    struct Label {
        QString text;
        QFont font;
        QSize size;
        qreal ratio = 0;
        bool dark = false;
        QImage shape;
        QImage base;
    };
    const Label& label(const QSize& size, qreal ratio, bool dark);

    qreal m_phase = -1;
    Label m_label;
    std::vector<qreal> m_phases; // of the sweep's frames
    platform::FrameLoop m_glimmer;
    QPointer<QWindow> m_watchedWindow;
};

} // namespace quillora
