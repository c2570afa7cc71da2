// Dialogs on Qt: built from the templates, placed in dialog units of the
// dialog's font, driven by the logic's dialog procedures. And the open-file
// dialog.
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QFrame>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QValidator>

#include "frontend/dialog.h"
#include "frontend/platform.h"
#include "frontend/qt/logo.h"
#include "frontend/qt/qt_platform.h"
#include "frontend/resources.h"

namespace koru {

namespace {

// The longest text an edit field takes, in bytes: a file name.
constexpr int MaxEditLength = 250;

// An edit field whose limit counts the bytes of the text the program gets,
// as the fields of the dialogs the templates come from count characters of
// one byte each. A limit in characters lets a name of accented letters
// through that the program would then cut, perhaps inside a letter, into
// the name of another file.
class ByteLimit : public QValidator {
public:
    ByteLimit(int limit, QObject* parent) : QValidator(parent), limit_(limit) {}
    State validate(QString& input, int&) const override {
        return input.toLocal8Bit().size() <= limit_ ? Acceptable : Invalid;
    }

private:
    int limit_;
};

class QtDialog : public QDialog, public DialogWindow {
public:
    QtDialog(const DialogTemplate& dialog, const DialogProcedure& procedure, QWidget* owner)
        : QDialog(owner), procedure_(procedure) {
        setWindowTitle(QString::fromUtf8(dialog.caption));
        setObjectName(QStringLiteral("dialog%1").arg(dialog.resource));
        // Dialog units: a quarter of the font's average character width and
        // an eighth of its height.
        const QFontMetricsF metrics(font());
        unitX_ = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0 / 4.0;
        unitY_ = metrics.height() / 8.0;
        setFixedSize(Px(dialog.width, unitX_), Px(dialog.height, unitY_));
        for (size_t i = 0; i < dialog.controlCount; ++i) Build(dialog.controls[i]);
    }

    void SetItemText(int id, const char* text) override {
        const QString value = QString::fromLocal8Bit(text);
        QWidget* control = controls_.value(id);
        if (auto* label = qobject_cast<QLabel*>(control)) label->setText(value);
        else if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->setText(value);
        else if (auto* group = qobject_cast<QGroupBox*>(control)) group->setTitle(value);
        else if (auto* button = qobject_cast<QAbstractButton*>(control)) button->setText(value);
    }

    std::string GetItemText(int id, int maxLength) override {
        QWidget* control = controls_.value(id);
        QString value;
        if (auto* label = qobject_cast<QLabel*>(control)) value = label->text();
        else if (auto* edit = qobject_cast<QLineEdit*>(control)) value = edit->text();
        std::string text = value.toLocal8Bit().toStdString();
        if (text.size() > static_cast<size_t>(maxLength)) text.resize(maxLength);
        return text;
    }

    void CheckButton(int id, bool checked) override {
        if (auto* box = qobject_cast<QCheckBox*>(controls_.value(id))) box->setChecked(checked);
    }

    bool IsButtonChecked(int id) override {
        auto* box = qobject_cast<QCheckBox*>(controls_.value(id));
        return box && box->isChecked();
    }

    void SetScrollRange(int id, int minimum, int maximum) override {
        if (auto* bar = qobject_cast<QScrollBar*>(controls_.value(id))) bar->setRange(minimum, maximum);
    }

    void SetScrollPos(int id, int position) override {
        if (auto* bar = qobject_cast<QScrollBar*>(controls_.value(id))) bar->setValue(position);
    }

    int GetScrollPos(int id) override {
        auto* bar = qobject_cast<QScrollBar*>(controls_.value(id));
        return bar ? bar->value() : 0;
    }

    void EndDialog(int result) override {
        ended_ = true;
        done(result);
    }

    void Start() {
        if (procedure_.init) procedure_.init(*this);
    }

protected:
    // Escape is the Cancel command, as in the dialogs the templates come from.
    void reject() override { Command(IdCancel); }

    void closeEvent(QCloseEvent* event) override {
        if (ended_) return QDialog::closeEvent(event);
        event->ignore();
        if (procedure_.close) procedure_.close(*this);
    }

private:
    static int Px(int units, double unit) { return static_cast<int>(units * unit + 0.5); }

    void Command(int id) {
        if (procedure_.command) procedure_.command(*this, id);
    }

    void Build(const ControlTemplate& control) {
        QWidget* widget = nullptr;
        const QString text = QString::fromUtf8(control.text);
        const int id = control.id;
        switch (control.kind) {
            case ControlKind::Label: {
                auto* label = new QLabel(text, this);
                label->setTextFormat(Qt::PlainText);
                widget = label;
                break;
            }
            case ControlKind::ReadOnlyText: {
                auto* label = new QLabel(text, this);
                label->setTextFormat(Qt::PlainText);
                label->setWordWrap(true);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                label->setTextInteractionFlags(Qt::TextSelectableByMouse);
                widget = label;
                break;
            }
            case ControlKind::Picture: {
                auto* label = new QLabel(this);
                const int side = std::min(Px(control.width, unitX_), Px(control.height, unitY_));
                QPixmap picture = QPixmap::fromImage(LogoImage(side * devicePixelRatio()));
                picture.setDevicePixelRatio(devicePixelRatio());
                label->setPixmap(picture);
                label->setAlignment(Qt::AlignCenter);
                label->setObjectName(QStringLiteral("LOGO"));
                widget = label;
                break;
            }
            case ControlKind::Frame: {
                auto* frame = new QFrame(this);
                frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
                widget = frame;
                break;
            }
            case ControlKind::GroupBox:
                widget = new QGroupBox(text, this);
                break;
            case ControlKind::CheckBox: {
                auto* box = new QCheckBox(text, this);
                connect(box, &QCheckBox::clicked, this, [this, id] { Command(id); });
                widget = box;
                break;
            }
            case ControlKind::Button:
            case ControlKind::DefaultButton: {
                auto* button = new QPushButton(text, this);
                // Return presses the button that has the focus, and the
                // default button only while no other button has it: Cancel
                // reached with Tab must not apply the settings.
                button->setAutoDefault(true);
                button->setDefault(control.kind == ControlKind::DefaultButton);
                connect(button, &QPushButton::clicked, this, [this, id] { Command(id); });
                widget = button;
                break;
            }
            case ControlKind::Edit: {
                auto* edit = new QLineEdit(text, this);
                edit->setMaxLength(MaxEditLength);
                edit->setValidator(new ByteLimit(MaxEditLength, edit));
                widget = edit;
                break;
            }
            case ControlKind::ScrollBar: {
                auto* bar = new QScrollBar(Qt::Horizontal, this);
                bar->setSingleStep(1);
                bar->setPageStep(1);
                // The user moved it: the procedure sets the position and
                // its label.
                connect(bar, &QScrollBar::valueChanged, this, [this, id](int value) {
                    if (procedure_.hscroll) procedure_.hscroll(*this, id, ScrollThumbPosition, value);
                });
                widget = bar;
                break;
            }
        }
        widget->setGeometry(Px(control.x, unitX_), Px(control.y, unitY_), Px(control.width, unitX_),
                            Px(control.height, unitY_));
        if (id >= 0) {
            widget->setObjectName(QStringLiteral("control%1").arg(id));
            controls_.insert(id, widget);
        }
        // Group boxes and frames lie under the controls they hold.
        if (control.kind == ControlKind::GroupBox || control.kind == ControlKind::Frame) widget->lower();
    }

    const DialogProcedure& procedure_;
    QHash<int, QWidget*> controls_;
    double unitX_ = 1.5, unitY_ = 1.625;
    bool ended_ = false;
};

QString PatternsFor(const char* pattern) {
    // "*.*" means every file where the filters come from; here a name need
    // not have a dot.
    return std::string_view(pattern) == "*.*" ? QStringLiteral("*") : QString::fromUtf8(pattern);
}

}  // namespace

namespace platform {

int RunDialog(const DialogTemplate& dialog, const DialogProcedure& procedure) {
    QtDialog box(dialog, procedure, MainWindowWidget());
    box.Start();
    return box.exec();
}

bool OpenFileDialog(const char* start, FileFilter filter, FileDialogMode mode, const char* title, std::string* chosen) {
    QWidget* owner = QApplication::activeWindow() ? QApplication::activeWindow() : MainWindowWidget();
    QFileDialog dialog(owner);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A save dialog says Save on its button; it asks nothing more than the
    // open dialog does (F7 replaces the state file without asking either).
    dialog.setAcceptMode(mode == FileDialogMode::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (mode == FileDialogMode::Save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (title) dialog.setWindowTitle(QString::fromLocal8Bit(title));
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    QStringList filters;
    for (const FilterPair* pair = FilterPairs(filter); pair->description; ++pair) {
        filters << QStringLiteral("%1 (%2)").arg(QString::fromUtf8(pair->description), PatternsFor(pair->pattern));
    }
    dialog.setNameFilters(filters);
    const QFileInfo initial(QString::fromLocal8Bit(start));
    if (start[0]) {
        if (initial.absoluteDir().exists()) dialog.setDirectory(initial.absoluteDir());
        dialog.selectFile(initial.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    const QFileInfo picked(dialog.selectedFiles().first());
    // The folder must exist; the file need not (a state is saved to a new
    // name).
    if (!picked.absoluteDir().exists()) return false;
    *chosen = QDir::toNativeSeparators(picked.absoluteFilePath()).toLocal8Bit().toStdString();
    return true;
}

}  // namespace platform
}  // namespace koru
