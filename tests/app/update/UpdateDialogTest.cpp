#include "app/update/UpdateDialog.h"

#include <QDesktopServices>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include "app/update/UpdateDialogParts.h"
#include "app/update/VersionFile.h"
#include "ui/ControlTestSupport.h"

namespace orv {
namespace {

constexpr const char* kHost = "upd.test";

// Takes the pages that the desktop's browser would open.
class OpenedUrls : public QObject {
    Q_OBJECT
public:
    OpenedUrls() {
        for (const char* scheme : {"http", "https"}) QDesktopServices::setUrlHandler(scheme, this, "Open");
    }
    ~OpenedUrls() override {
        for (const char* scheme : {"http", "https"}) QDesktopServices::unsetUrlHandler(scheme);
    }
    std::vector<std::string> urls;

public slots:
    void Open(const QUrl& url) { urls.push_back(url.toString().toStdString()); }
};

std::string TwoSectionMessage() {
    UpdateNews news;
    news.firmware = UpdateSection{"1.2.3", "1.2.4", UpdateServerUrl(kHost, kUpdateModels[3].page)};
    news.gps = UpdateSection{"22/04/25", "<a href=\"javascript:x()\">y</a>", UpdateServerUrl(kHost, kGpsDataPage)};
    return ComposeUpdateMessage(news);
}

TEST(UpdateDialog, SizeAndPlacesFollowTheScale) {
    const struct {
        float scale;
        QSize size;
        QRect link, button;
    } cases[] = {
        {1.0f, {640, 480}, {10, 30, 620, 400}, {530, 440, 100, 30}},
        {1.5f, {960, 720}, {15, 45, 930, 600}, {795, 660, 150, 45}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        test::ScaleScope scale(c.scale);
        CUpdateDialog dialog(nullptr, kHost);
        dialog.show();
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("更新情報"));
        EXPECT_EQ(dialog.size(), c.size);
        EXPECT_EQ(dialog.minimumSize(), c.size);  // the user cannot resize it
        EXPECT_EQ(dialog.maximumSize(), c.size);
        EXPECT_EQ(test::MessageOf(dialog)->geometry(), c.link);
        EXPECT_EQ(test::CloseButtonOf(dialog)->geometry(), c.button);
        EXPECT_EQ(test::CloseButtonOf(dialog)->text(), QStringLiteral("閉じる"));

        // White behind the message, the dialog's own colour in the bottom strip.
        const QImage image = test::Render(dialog, qRgb(1, 2, 3));
        EXPECT_EQ(image.pixel(2, c.size.height() * 3 / 4) | 0xFF000000u, 0xFFFFFFFFu);
        EXPECT_NE(image.pixel(2, c.size.height() - 2) | 0xFF000000u, 0xFFFFFFFFu);
    }
}

TEST(UpdateDialog, OpensOnlyThePagesItLinksTo) {
    test::ScaleScope scale(1.0f);
    OpenedUrls opened;
    CUpdateDialog dialog(nullptr, kHost);
    dialog.SetMessage(TwoSectionMessage());
    dialog.show();
    const std::vector<std::string> pages = {UpdateServerUrl(kHost, kUpdateModels[3].page),
                                            UpdateServerUrl(kHost, kGpsDataPage)};
    ASSERT_EQ(LinkMarkupToHtml(TwoSectionMessage()).links, pages);
    EXPECT_EQ(test::MessageOf(dialog)->text().count(QStringLiteral("<a href=")), 2);

    emit test::MessageOf(dialog)->linkActivated(QString::fromStdString(pages[1]));
    EXPECT_EQ(opened.urls, std::vector<std::string>{pages[1]});
    for (const char* foreign : {"javascript:x()", "http://elsewhere.test/taiou/gps_data/dr_01/dr01.html",
                                "http://upd.test/gps_data/drgps_01.txt", "file:///etc/passwd"})
        emit test::MessageOf(dialog)->linkActivated(QString::fromUtf8(foreign));
    EXPECT_EQ(opened.urls.size(), 1u);
}

TEST(UpdateDialog, EscapeAndCloseHideItEnterDoesNothing) {
    test::ScaleScope scale(1.0f);
    for (const bool byButton : {false, true}) {
        CUpdateDialog dialog(nullptr, kHost);
        dialog.SetMessage(TwoSectionMessage());
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Return);
        QTest::keyClick(test::CloseButtonOf(dialog), Qt::Key_Enter);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(dialog.m_bClosed);
        if (byButton) QTest::mouseClick(test::CloseButtonOf(dialog), Qt::LeftButton);
        else QTest::keyClick(test::MessageOf(dialog), Qt::Key_Escape);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_TRUE(dialog.m_bClosed);
        // Shown again, it still paints its page.
        dialog.show();
        EXPECT_EQ(test::Render(dialog, 0).pixel(2, 100) | 0xFF000000u, 0xFFFFFFFFu);
    }
}

}  // namespace
}  // namespace orv

#include "UpdateDialogTest.moc"
