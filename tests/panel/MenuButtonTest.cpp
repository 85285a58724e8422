// The title strip's menu within reach: a button inside the strip opens the
// same menu a right-click does, and the first start says where it is.
#include "MainfileSupport.h"

#include "Controls.h"
#include "TestSupport.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTest>

TEST_F(MainWindowTest, TheMenuButtonOpensTheTitleMenuAndTheFirstStartSaysSo)
{
    Show();
    RunEvents(20);
    const QString hint = form->InfoLabel->text();
    EXPECT_TRUE(hint.contains(QChar(0x2261))) << hint.toStdString();
    // Inside the strip, clear of the picture, the caption and minimize.
    const QRect button = form->MenuButton->geometry();
    EXPECT_TRUE(form->TopPanel->rect().contains(button));
    EXPECT_FALSE(button.intersects(form->MinimizeSpeedButton->geometry()));
    EXPECT_FALSE(button.intersects(form->TitleImage->geometry()));
    EXPECT_TRUE(form->MenuButton->isVisible());
    QTest::mouseClick(form->MenuButton, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return form->TitleMenu()->isVisible(); }));
    QStringList items;
    for (QAction* a : form->TitleMenu()->actions())
        items << a->text();
    EXPECT_TRUE(items.contains("Messages...")) << items.join(", ").toStdString();
    EXPECT_TRUE(items.contains("Bench..."));
    form->TitleMenu()->hide();

    // Once the panel has been stored, no more hint.
    form.reset();
    form.reset(CreateProgramWindows());
    Show();
    RunEvents(20);
    EXPECT_FALSE(form->InfoLabel->text().contains(QChar(0x2261)));
}
