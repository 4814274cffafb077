#include "ui-qt/QtToolkit.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/FileSystem.h"
#include "ui-qt/Ansi.h"

namespace trellybridge::ui {
namespace {

QString fromAnsi(std::string_view text) {
    std::string utf8 = ansiToUtf8(text);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string toAnsi(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    return utf8ToAnsi(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

// Window text breaks lines with CR LF, message boxes with a lone CR.
QString shownLines(std::string_view text) {
    std::string utf8 = shownWindowText(text);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// Drives the thread's event loop from Qt's: a notifier per watched descriptor and one
// single-shot timer for the next deadline, rebuilt after every dispatch. While the loop
// dispatches nothing is armed, so a message box opened by a tick cannot start another.
class LoopDriver {
public:
    LoopDriver(const ToolkitHost& host, std::function<void()> afterDispatch)
        : host_(host), afterDispatch_(std::move(afterDispatch)) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { dispatch(); });
    }
    ~LoopDriver() { disarm(); }
    LoopDriver(const LoopDriver&) = delete;
    LoopDriver& operator=(const LoopDriver&) = delete;

    // Whether anything can still wake the loop.
    bool arm() {
        std::vector<int> fds = host_.watchedDescriptors();
        for (int fd : fds) {
            auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] {
                // The notifier that fired must outlive its own signal: dispatch afterwards.
                for (auto& n : notifiers_) n->setEnabled(false);
                QTimer::singleShot(0, &timer_, [this] { dispatch(); });
            });
            notifiers_.push_back(std::move(notifier));
        }
        int wait = host_.nextTimerWait();
        if (wait >= 0) timer_.start(wait);
        return wait >= 0 || !fds.empty();
    }

    void disarm() {
        timer_.stop();
        notifiers_.clear();
    }

private:
    void dispatch() {
        disarm();
        host_.pump();
        afterDispatch_();
    }

    const ToolkitHost& host_;
    std::function<void()> afterDispatch_;
    QTimer timer_;
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers_;
};

// The progress window: caption, progress log, status and connection-time labels, close.
class ProgressDialog : public QDialog {
public:
    explicit ProgressDialog(Window& window) : window_(window) {
        auto* layout = new QVBoxLayout(this);
        information_ = new QPlainTextEdit(this);
        information_->setReadOnly(true);
        information_->setObjectName(QStringLiteral("txtInformation"));
        status_ = new QLabel(this);
        status_->setObjectName(QStringLiteral("lblStatus"));
        time_ = new QLabel(this);
        time_->setObjectName(QStringLiteral("lblConnectionTime"));
        auto* close = new QPushButton(QStringLiteral("&Close"), this);
        close->setObjectName(QStringLiteral("cmdClose"));
        auto* row = new QHBoxLayout;
        row->addWidget(status_, 1);
        row->addWidget(time_);
        row->addWidget(close);
        layout->addWidget(information_, 1);
        layout->addLayout(row);
        resize(560, 320);
        connect(close, &QPushButton::clicked, [this] { userClosed(); });
    }

    void refresh() {
        WindowView view = window_.view();
        if (view.caption != shown_.caption) setWindowTitle(fromAnsi(view.caption));
        if (view.information != shown_.information) {
            information_->setPlainText(shownLines(view.information));
            information_->moveCursor(QTextCursor::End);
        }
        if (view.status != shown_.status) status_->setText(fromAnsi(view.status));
        if (view.connectionTime != shown_.connectionTime)
            time_->setText(fromAnsi(view.connectionTime));
        shown_ = std::move(view);
    }

    std::function<void()> onUserClose;

protected:
    void reject() override { userClosed(); }

private:
    void userClosed() {
        window_.closeClicked();
        if (onUserClose) onUserClose();
    }

    Window& window_;
    WindowView shown_;
    QPlainTextEdit* information_;
    QLabel* status_;
    QLabel* time_;
};

// A settings page: one row per control, the page's buttons beneath.
class PageDialog : public QDialog {
public:
    explicit PageDialog(PropertyPage& page) : page_(page) {
        setWindowTitle(fromAnsi(page.caption()));
        setObjectName(QString::fromStdString(page.name()));
        auto* layout = new QVBoxLayout(this);
        auto* heading = new QLabel(fromAnsi(page.heading()), this);
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
        layout->addWidget(heading);
        auto* form = new QFormLayout;
        layout->addLayout(form);
        std::vector<Control>& controls = page.controls();
        for (std::size_t i = 0; i < controls.size(); ++i) addControl(*form, i, controls[i]);
        auto* row = new QHBoxLayout;
        for (std::size_t i = 0; i < page.buttons().size(); ++i) {
            auto* button = new QPushButton(this);
            connect(button, &QPushButton::clicked,
                    [this, i] { userEvent([&] { page_.press(i); }); });
            buttons_.push_back(button);
            row->addWidget(button);
        }
        layout->addLayout(row);
        push();
    }

private:
    struct Row {
        QLabel* label = nullptr;
        QWidget* widget = nullptr;
    };

    void addControl(QFormLayout& form, std::size_t index, const Control& control) {
        Row row;
        row.label = new QLabel(fromAnsi(control.label), this);
        switch (control.kind) {
            case ControlKind::List: {
                auto* box = new QComboBox(this);
                box->setEditable(true);
                box->setInsertPolicy(QComboBox::NoInsert);
                connect(box, &QComboBox::activated,
                        [this, index](int line) { userEvent([&] { page_.choose(index, line); }); });
                row.widget = box;
                break;
            }
            case ControlKind::Lines: {
                auto* list = new QListWidget(this);
                if (control.fixedPitch)
                    list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
                list->setMinimumWidth(560);
                connect(list, &QListWidget::itemClicked,
                        [this, index, list](QListWidgetItem* item) {
                            int line = list->row(item);
                            userEvent([&] { page_.choose(index, line); });
                        });
                row.widget = list;
                break;
            }
            case ControlKind::TextBox:
            case ControlKind::ReadOnly: {
                auto* edit = new QLineEdit(this);
                edit->setReadOnly(control.kind == ControlKind::ReadOnly);
                row.widget = edit;
                break;
            }
        }
        row.widget->setObjectName(QStringLiteral("control%1").arg(index));
        form.addRow(row.label, row.widget);
        rows_.push_back(row);
    }

    // The user's text into the page, the page's event, the page back onto the screen.
    void userEvent(const std::function<void()>& action) {
        pull();
        action();
        push();
        if (page_.closed()) accept();
    }

    void pull() {
        std::vector<Control>& controls = page_.controls();
        for (std::size_t i = 0; i < controls.size(); ++i) {
            if (auto* edit = qobject_cast<QLineEdit*>(rows_[i].widget)) {
                if (!edit->isReadOnly()) controls[i].text = toAnsi(edit->text());
            } else if (auto* box = qobject_cast<QComboBox*>(rows_[i].widget)) {
                controls[i].text = toAnsi(box->currentText());
            }
        }
    }

    void push() {
        std::vector<Control>& controls = page_.controls();
        for (std::size_t i = 0; i < controls.size(); ++i) {
            const Control& control = controls[i];
            if (auto* edit = qobject_cast<QLineEdit*>(rows_[i].widget)) {
                edit->setText(fromAnsi(control.text));
                edit->setPlaceholderText(fromAnsi(control.placeholder));
            } else if (auto* box = qobject_cast<QComboBox*>(rows_[i].widget)) {
                box->clear();
                for (const std::string& choice : control.choices) box->addItem(fromAnsi(choice));
                box->setEditText(fromAnsi(control.text));
                if (box->lineEdit())
                    box->lineEdit()->setPlaceholderText(fromAnsi(control.placeholder));
            } else if (auto* list = qobject_cast<QListWidget*>(rows_[i].widget)) {
                list->clear();
                for (const std::string& line : control.choices) list->addItem(fromAnsi(line));
            }
            rows_[i].label->setVisible(control.visible);
            rows_[i].widget->setVisible(control.visible);
        }
        for (std::size_t i = 0; i < buttons_.size(); ++i)
            buttons_[i]->setText(fromAnsi(page_.buttons()[i]));
        adjustSize();
    }

    PropertyPage& page_;
    std::vector<Row> rows_;
    std::vector<QPushButton*> buttons_;
};

class QtToolkit : public HeadlessToolkit {
public:
    QtToolkit(ToolkitHost host, ProgressSink sink)
        : HeadlessToolkit(std::move(sink)), host_(std::move(host)) {}

    void runModal(Window& window) override {
        window.load();
        if (!window.isLoaded()) return;
        ProgressDialog dialog(window);
        QEventLoop modal;
        auto settle = [&] {
            dialog.refresh();
            // As the headless loop: a window that nothing can wake again ends its loop.
            if (window.isLoaded() && !driver_->arm()) window.unload();
            if (!window.isLoaded()) modal.quit();
        };
        LoopDriver driver(host_, settle);
        LoopDriver* outer = std::exchange(driver_, &driver);
        dialog.onUserClose = [&] {
            driver.disarm();
            settle();
        };
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.show();
        settle();
        if (window.isLoaded()) modal.exec();
        driver.disarm();
        driver_ = outer;
    }

    void pumpMessages() override {
        host_.pump();
        QCoreApplication::processEvents();
    }

    Button messageBox(std::string_view text, std::string_view title, Icon icon,
                      Buttons buttons) override {
        HeadlessToolkit::progress(
            ProgressKind::MessageBox,
            title.empty() ? std::string(text) : std::string(title) + ": " + std::string(text));
        QMessageBox box;
        box.setWindowTitle(title.empty() ? QStringLiteral("TrellyBridge") : fromAnsi(title));
        box.setText(shownLines(text));
        box.setIcon(icon == Icon::Critical      ? QMessageBox::Critical
                    : icon == Icon::Exclamation ? QMessageBox::Warning
                    : icon == Icon::Information ? QMessageBox::Information
                                                : QMessageBox::NoIcon);
        switch (buttons) {
            case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
            case Buttons::OkCancel:
                box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
                break;
            case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
        }
        int answer = box.exec();
        if (answer == QMessageBox::Cancel) return Button::Cancel;
        if (answer == QMessageBox::No) return Button::No;
        if (answer == QMessageBox::Yes) return Button::Yes;
        // Closing the box answers as Escape would: Cancel or No where there is one.
        if (answer != QMessageBox::Ok && buttons != Buttons::Ok)
            return buttons == Buttons::YesNo ? Button::No : Button::Cancel;
        return Button::Ok;
    }

    void showPropertyPage(PropertyPage& page) override {
        PageDialog dialog(page);
        dialog.exec();
    }

    FileDialogResult fileDialog(std::string_view initialFolder, std::string_view fileName,
                                std::string_view filter) override {
        QString folder = fromAnsi(host_.hostPath(initialFolder));
        QString name = fromAnsi(fileName);
        QString start = name.isEmpty()
                            ? folder
                            : folder + QLatin1Char('/') +
                                  name.section(QRegularExpression(QStringLiteral("[\\\\/]")), -1);
        QString chosen = QFileDialog::getOpenFileName(nullptr, QString(), start,
                                                      fromAnsi(filter) + QStringLiteral(";;*"));
        if (chosen.isEmpty()) return {FileDialogOutcome::Cancelled, {}};
        return {FileDialogOutcome::Chosen, toAnsi(chosen)};
    }

private:
    ToolkitHost host_;
    LoopDriver* driver_ = nullptr;
};

bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

}  // namespace

std::shared_ptr<HeadlessToolkit> makeQtToolkit(ProgressSink sink, std::string& whyNot) {
    ToolkitHost host{[] { return EventLoop::current().watchedDescriptors(); },
                     [] { return EventLoop::current().nextTimerWait(); },
                     [] { EventLoop::current().pump(); },
                     [](std::string_view path) { return fs::hostPath(path); }};
    return makeQtToolkit(std::move(host), std::move(sink), whyNot);
}

std::shared_ptr<HeadlessToolkit> makeQtToolkit(ToolkitHost host, ProgressSink sink,
                                               std::string& whyNot) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application) {
        if (!qobject_cast<QApplication*>(application)) {
            whyNot = "the host's Qt application has no widgets";
            return nullptr;
        }
        if (application->thread() != QThread::currentThread()) {
            whyNot = "windows belong to the thread that made the host's Qt application";
            return nullptr;
        }
    } else {
        if (!hasDisplay()) {
            whyNot = "no display (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are unset)";
            return nullptr;
        }
        // Lives as long as the process, as the host's own would.
        static int argc = 1;
        static char name[] = "trellybridge";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    return std::make_shared<QtToolkit>(std::move(host), std::move(sink));
}

}  // namespace trellybridge::ui
