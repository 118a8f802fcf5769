// CStaticFrameEx: a static frame or label with the styling of CStaticEx
// (deferred font rebuild, bold for any non-zero value) that records no position.
// As a group frame it draws a titled frame. GUI thread only.
#pragma once

#include "skinwork/StyledControl.h"

#include <QLabel>

class SKINWORK_EXPORT CStaticFrameEx : public QLabel, public skinwork::StyledControl {
    Q_OBJECT
public:
    explicit CStaticFrameEx(QWidget* parent = nullptr);
    explicit CStaticFrameEx(const QString& text, QWidget* parent = nullptr);
    ~CStaticFrameEx() override;

    void setGroupFrame(bool groupFrame);
    bool isGroupFrame() const { return groupFrame_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool groupFrame_ = false;
};
