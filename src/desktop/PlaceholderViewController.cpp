#include "desktop/PlaceholderViewController.h"

#include <QLabel>
#include <QVBoxLayout>

#include "desktop/IconView.h"
#include "desktop/StyleSheet.h"

namespace desktop {

PlaceholderViewController::PlaceholderViewController(MainWindowController& mainWindowController,
                                                     QString viewName, QString iconName,
                                                     QString title, QString text)
    : ContentViewController(mainWindowController),
      viewName_(std::move(viewName)),
      iconName_(std::move(iconName)),
      title_(std::move(title)),
      text_(std::move(text)) {}

QWidget* PlaceholderViewController::loadView() {
    auto* view = new QWidget();
    view->setObjectName(viewName_);
    auto* layout = new QVBoxLayout(view);
    layout->setContentsMargins(32, 32, 32, 32);
    layout->setSpacing(10);
    layout->addStretch(1);

    auto* icon = new IconView(iconName_, StyleSheet::secondBackgroundColor, 44, view);
    icon->setObjectName("placeholderIcon");
    layout->addWidget(icon, 0, Qt::AlignHCenter);

    auto* title = new QLabel(title_, view);
    title->setObjectName("placeholderTitle");
    title->setFont(StyleSheet::font(title->font(), 1.3, true));
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    auto* text = new QLabel(text_, view);
    text->setObjectName("placeholderText");
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignCenter);
    text->setForegroundRole(QPalette::PlaceholderText);
    // A wrapped label is as narrow as its longest word unless told its
    // width, and its height then follows from the width.
    text->setFixedWidth(420);
    text->setMinimumHeight(text->heightForWidth(420));
    layout->addWidget(text, 0, Qt::AlignHCenter);

    layout->addStretch(1);
    return view;
}

}  // namespace desktop
