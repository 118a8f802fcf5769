// SPDX-License-Identifier: GPL-3.0-or-later
#include "skinwork/Application.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include <map>

namespace skinwork {
namespace {

// GUI thread only, like every widget.
QPointer<QWidget>& mainWindowSlot()
{
    static QPointer<QWidget> window;
    return window;
}

std::map<unsigned int, QIcon>& iconTable()
{
    static std::map<unsigned int, QIcon> icons;
    return icons;
}

} // namespace

void SetMainWindow(QWidget* window)
{
    mainWindowSlot() = window;
}

QWidget* MainWindow()
{
    return mainWindowSlot().data();
}

QFont InheritedFont()
{
    if (QWidget* window = MainWindow()) {
        return window->font();
    }
    return QApplication::font();
}

void RegisterIcon(unsigned int resourceId, const QIcon& icon)
{
    iconTable()[resourceId] = icon;
}

QIcon LoadResourceIcon(unsigned int resourceId)
{
    const auto found = iconTable().find(resourceId);
    if (found != iconTable().end()) {
        return found->second;
    }
    QIcon fromResources(QStringLiteral(":/icon/%1").arg(resourceId));
    if (fromResources.availableSizes().isEmpty()) {
        return {};
    }
    return fromResources;
}

} // namespace skinwork
