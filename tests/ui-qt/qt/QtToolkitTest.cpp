// The Qt toolkit on the offscreen platform: a robot in the test answers the windows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "VendorSimulator.h"
#include "common/ThreadState.h"
#include "component/RequestPreparation.h"
#include "session/SessionWindow.h"
#include "session/TcpFixture.h"
#include "ui-qt/QtToolkit.h"

// Qt and fontconfig keep caches for the life of the process; nothing else is excused.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libQt6\nleak:libfontconfig\n";
}

namespace trellybridge {
namespace {

// Calls `act` for each modal window that appears while the robot lives; gives up after
// `maxTurns` turns of 10 ms.
class Robot {
public:
    explicit Robot(std::function<void(QWidget*)> act, int maxTurns = 1500) : act_(std::move(act)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this, maxTurns] {
            if (++turns_ > maxTurns) {
                timer_.stop();
                ADD_FAILURE() << "no window came to answer";
                if (QWidget* w = QApplication::activeModalWidget()) w->close();
                return;
            }
            // Windows may reuse an address: the mark tells an answered one.
            QWidget* window = QApplication::activeModalWidget();
            if (window && !window->property("answered").toBool()) {
                window->setProperty("answered", true);
                act_(window);
            }
        });
        timer_.start();
    }

private:
    std::function<void(QWidget*)> act_;
    QTimer timer_;
    int turns_ = 0;
};

QPushButton* buttonNamed(QWidget* window, const QString& text) {
    for (auto* button : window->findChildren<QPushButton*>())
        if (button->text() == text) return button;
    return nullptr;
}

struct SeenPage {
    std::string name, title;
    std::vector<std::string> labels;
    std::vector<std::string> bridgeChoices;  // the first list's choices
};

SeenPage look(QWidget* window) {
    SeenPage seen{window->objectName().toStdString(), window->windowTitle().toStdString(), {}, {}};
    auto* form = window->findChild<QFormLayout*>();
    for (int row = 0; form && row < form->rowCount(); ++row)
        if (auto* item = form->itemAt(row, QFormLayout::LabelRole))
            seen.labels.push_back(qobject_cast<QLabel*>(item->widget())->text().toStdString());
    if (auto* list = window->findChild<QComboBox*>())
        for (int i = 0; i < list->count(); ++i)
            seen.bridgeChoices.push_back(list->itemText(i).toStdString());
    return seen;
}

class QtToolkitTest : public testing::TcpFixture {
protected:
    void SetUp() override {
        TcpFixture::SetUp();
        platform::setClock(nullptr);  // Qt's timers run in real time
        std::string whyNot;
        qt = ui::makeQtToolkit(
            [this](ui::ProgressKind, std::string_view line) { progress.emplace_back(line); },
            whyNot);
        ASSERT_TRUE(qt) << whyNot;
        ui::setToolkit(qt);
    }
    std::shared_ptr<ui::HeadlessToolkit> qt;
    std::vector<std::string> progress;
};

// Which pages a bridge opens is the component's (GetPatientTest.PropertyPagesAppearInOrder);
// here, that the toolkit shows each one, in turn, as the window a user answers.
TEST_F(QtToolkitTest, EveryPageOpensInTurnAsAWindow) {
    std::vector<SeenPage> seen;
    Robot robot([&](QWidget* window) {
        seen.push_back(look(window));
        QPushButton* save = buttonNamed(window, "&Save");
        ASSERT_NE(save, nullptr);
        save->click();
    });
    a.NetworkBridgeType = "TCPIP";
    a.VendorFormatType = "HL7";
    a.VendorName = "MEDIC";
    a.DisplayProperties = "true";
    configuration::prepareRequest(threadState(), a);
    std::vector<std::string> names;
    for (const SeenPage& page : seen) {
        names.push_back(page.name);
        EXPECT_EQ(page.title, "TrellyBridge v.1.6.1");
    }
    EXPECT_EQ(names, (std::vector<std::string>{"frmCommonPropertyPage", "frmMEDICProperties",
                                               "frmTCPTest"}));
    ASSERT_FALSE(seen.empty());
    ASSERT_EQ(seen[0].labels.size(), 17U);
    EXPECT_EQ(seen[0].labels.front(), "Bridge Type:");
    EXPECT_EQ(seen[0].labels.back(), "Time Delay:");
    EXPECT_EQ(seen[0].bridgeChoices,
              (std::vector<std::string>{"SERIAL", "VENDOR", "POLLING", "FOLDERS", "TCPIP", "HTTPS",
                                        "USB"}));
}

TEST_F(QtToolkitTest, AnEditedFieldIsSavedAsWindowsText) {
    Robot robot([&](QWidget* window) {
        if (window->objectName() == "frmCommonPropertyPage")
            window->findChild<QLineEdit*>("control1")
                ->setText(QString::fromUtf8("ACME \xC3\xA9\xE2\x82\xAC"));
        buttonNamed(window, "&Save")->click();
    });
    a.NetworkBridgeType = "FOLDERS";
    a.VendorFormatType = "STANDARD";
    a.VendorName = "STANDARD";
    a.VendorFacility = "CLINIC \xE9";
    a.DisplayProperties = "true";
    configuration::prepareRequest(threadState(), a);
    EXPECT_EQ(threadState().config.VendorName.toText(), "ACME \xE9\x80");
    EXPECT_EQ(threadState().config.VendorFacility.toText(), "CLINIC \xE9") << "shown, not edited";
}

TEST_F(QtToolkitTest, MessageBoxShowsTitleAndIconAndTakesTheAnswer) {
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Robot robot([&](QWidget* window) {
        auto* box = qobject_cast<QMessageBox*>(window);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        icon = box->icon();
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(qt->messageBox("Overwrite?", "Attention!", ui::Icon::Critical, ui::Buttons::YesNo),
              ui::Button::No);
    EXPECT_EQ(title, "Attention!");
    EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST_F(QtToolkitTest, SessionWindowShowsTheRequestAndClosesItself) {
    vendorsim::VendorSimulator vendor({});
    std::string error;
    ASSERT_TRUE(vendor.start(error)) << error;
    a.TCPRemotePorts = std::to_string(vendor.ports()[0]);
    a.HTTPSSubjectCN = "{LOCAL IP:127.0.0.1}";
    a.TimeDelay = "50";
    QString caption, shown;
    auto* watch = new QTimer;
    watch->setInterval(5);
    QObject::connect(watch, &QTimer::timeout, [&] {
        if (QWidget* window = QApplication::activeModalWidget()) {
            caption = window->windowTitle();
            if (auto* text = window->findChild<QPlainTextEdit*>()) shown = text->toPlainText();
        }
    });
    watch->start();
    EXPECT_TRUE(comm.GetPatient(a).isTrue());
    delete watch;
    // The window showed the session's own caption and the start of its log, as it ran.
    EXPECT_EQ(caption.toStdString(), session::sessionWindow().caption);
    std::string firstLine = shown.section('\n', 0, 0).toStdString();
    ASSERT_FALSE(firstLine.empty());
    EXPECT_TRUE(session::sessionWindow().txtInformation.starts_with(firstLine)) << firstLine;
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the window closed itself";
}

}  // namespace
}  // namespace trellybridge
