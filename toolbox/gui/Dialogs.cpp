#include "toolbox/gui/Dialogs.h"

#include "resources/Icons.h"
#include "toolbox/core/StringTable.h"
#include "toolbox/gui/App.h"
#include "toolbox/gui/DialogTemplateBytes.h"
#include "toolbox/gui/HostHooks.h"
#include "toolbox/gui/HostPrivate.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QValidator>

#include <cstring>
#include <vector>

namespace {

class DialogWindow;

struct DialogItem {
    std::int16_t id = 0;
    std::uint16_t kind = 0;
    Rect rect;
    QPointer<QWidget> widget;
    std::int16_t group = 0;
    std::intptr_t userValue = 0;
    bool hasRange = false;
    long minimum = 0, maximum = 0;
};

int modalDepth = 0;

} // namespace

struct DialogRecord {
    std::int16_t templateId = 0;
    DialogProc proc = nullptr;
    void* userData = nullptr;
    std::uint16_t style = 0;
    std::vector<DialogItem> items;
    DialogWindow* window = nullptr;
    GrafPtr port = nullptr;
    bool ending = false;
    bool quiet = false; // programmatic changes send no control clicks

    DialogItem* item(std::int16_t id) {
        for (DialogItem& i : items)
            if (i.id == id) return &i;
        return nullptr;
    }
};

namespace {

bool send(DialogPtr d, WindowMessage& msg) {
    return d->proc && d->proc(d, msg);
}

std::int16_t cancelItem(DialogPtr d) {
    for (const DialogItem& i : d->items)
        if (i.kind == kButtonItem && i.widget &&
            static_cast<QPushButton*>(i.widget.data())->text() == QLatin1String("Cancel"))
            return i.id;
    return 1;
}

void controlClick(DialogPtr d, std::int16_t item) {
    if (d->quiet || d->ending) return;
    WindowMessage msg;
    msg.kind = wmControlClick;
    msg.item = item;
    if (send(d, msg)) return;
    DialogItem* it = d->item(item);
    if (!it) return;
    if (it->kind == kButtonItem)
        EndModalDialog(d, item);
    else if (it->kind == kRadioButtonItem)
        SelectRadioButton(d, item);
}

void closeRequest(DialogPtr d) {
    if (d->ending) return;
    WindowMessage msg;
    msg.kind = wmCloseRequest;
    if (!send(d, msg)) EndModalDialog(d, cancelItem(d));
}

// Accepts what typing can still turn into a number of the range.
class SignedRangeValidator : public QValidator {
public:
    SignedRangeValidator(long minimum, long maximum, QObject* parent)
        : QValidator(parent), min_(minimum), max_(maximum) {}

    State validate(QString& input, int&) const override {
        if (input.isEmpty()) return Intermediate;
        if (input == QLatin1String("-")) return min_ < 0 ? Intermediate : Invalid;
        bool ok = false;
        qlonglong v = input.toLongLong(&ok);
        for (int i = 0; i < input.size(); ++i)
            if (!(input[i].isDigit() || (i == 0 && input[i] == '-'))) return Invalid;
        if (!ok) return Invalid;
        if (v >= min_ && v <= max_) return Acceptable;
        // Out of range: more digits can only move the value away from zero.
        if (v > max_ && v >= 0) return Invalid;
        if (v < min_ && v <= 0) return Invalid;
        return Intermediate;
    }

private:
    long min_, max_;
};

class DialogWindow : public QDialog {
public:
    DialogWindow(DialogPtr d, QWidget* parent) : QDialog(parent), d_(d) {}

protected:
    void paintEvent(QPaintEvent* event) override {
        QDialog::paintEvent(event);
        if (!d_->proc) return;
        QSize size = this->size();
        if (!d_->port)
            d_->port = NewOffscreenPort(std::int16_t(size.width()), std::int16_t(size.height()));
        if (!d_->port) return;
        QColor bg = palette().color(QPalette::Window);
        GrafPtr old = SetPort(d_->port);
        RGBBackColor(
            RGBCode(std::uint8_t(bg.red()), std::uint8_t(bg.green()), std::uint8_t(bg.blue())));
        EraseRect(d_->port->portRect);
        WindowMessage msg;
        msg.kind = wmUpdate;
        QRect r = event->rect();
        msg.area = {std::int16_t(r.top()), std::int16_t(r.left()), std::int16_t(r.bottom() + 1),
                    std::int16_t(r.right() + 1)};
        bool drawn = send(d_, msg);
        SetPort(old);
        if (!drawn) return;
        PortHost* host = d_->port->host;
        host->end();
        QPainter p(this);
        p.drawImage(r, host->image, r);
    }

    void mousePressEvent(QMouseEvent* event) override {
        WindowMessage msg;
        msg.kind = wmMouseDown;
        QPoint at = event->position().toPoint();
        msg.where = {std::int16_t(at.y()), std::int16_t(at.x())};
        msg.button = event->button() == Qt::RightButton ? 1 : event->button() == Qt::MiddleButton;
        msg.shift = event->modifiers() & Qt::ShiftModifier;
        msg.option = event->modifiers() & Qt::ControlModifier;
        msg.when = static_cast<std::uint32_t>(event->timestamp());
        send(d_, msg);
    }

    void reject() override { closeRequest(d_); }

    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        closeRequest(d_);
    }

private:
    DialogPtr d_;
};

QWidget* makeItemWidget(DialogPtr d, DialogItem& item, const std::string& text,
                        std::int16_t iconId) {
    QWidget* parent = d->window;
    QWidget* w = nullptr;
    std::int16_t id = item.id;
    switch (item.kind) {
    case kButtonItem: {
        auto* b = new QPushButton(ToHostText(text.c_str()), parent);
        b->setAutoDefault(false);
        b->setDefault(id == 1);
        QObject::connect(b, &QPushButton::clicked, b, [d, id] { controlClick(d, id); });
        w = b;
        break;
    }
    case kEditTextItem: {
        auto* e = new QLineEdit(ToHostText(text.c_str()), parent);
        e->setTextMargins(1, 0, 1, 0);
        QObject::connect(e, &QLineEdit::textEdited, e, [d, id] { controlClick(d, id); });
        w = e;
        break;
    }
    case kPopupItem: {
        auto* c = new QComboBox(parent);
        QObject::connect(c, &QComboBox::activated, c, [d, id] { controlClick(d, id); });
        w = c;
        break;
    }
    case kIconItem: {
        auto* l = new QLabel(parent);
        int side = std::min(item.rect.right - item.rect.left, item.rect.bottom - item.rect.top);
        l->setPixmap(GetIconPixmap(iconId, side));
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        w = l;
        break;
    }
    case kCheckBoxItem: {
        auto* c = new QCheckBox(ToHostText(text.c_str()), parent);
        QObject::connect(c, &QCheckBox::clicked, c, [d, id] { controlClick(d, id); });
        w = c;
        break;
    }
    case kRadioButtonItem: {
        auto* r = new QRadioButton(ToHostText(text.c_str()), parent);
        r->setAutoExclusive(false); // groups are the layer's
        QObject::connect(r, &QRadioButton::clicked, r, [d, id] { controlClick(d, id); });
        w = r;
        break;
    }
    default: { // static text, and anything unknown shown as text
        auto* l = new QLabel(ToHostText(text.c_str()), parent);
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setTextFormat(Qt::PlainText);
        l->setAttribute(Qt::WA_TransparentForMouseEvents); // clicks reach the dialog
        w = l;
        break;
    }
    }
    w->setGeometry(item.rect.left, item.rect.top, item.rect.right - item.rect.left,
                   item.rect.bottom - item.rect.top);
    w->show();
    return w;
}

QWidget* dialogParent() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return GetFrameWindow();
}

void placeDialog(DialogPtr d, const Rect& bounds) {
    QWidget* parent = d->window->parentWidget();
    QSize size(bounds.right - bounds.left, bounds.bottom - bounds.top);
    d->window->setFixedSize(size);
    QRect area = parent ? parent->frameGeometry() : QRect();
    if (area.isEmpty())
        if (QScreen* s = QGuiApplication::primaryScreen()) area = s->availableGeometry();
    if (d->style == 0) {
        // The layer's own windows sit at their bounds within the frame.
        QPoint origin = parent ? parent->mapToGlobal(QPoint(0, 0)) : area.topLeft();
        d->window->move(origin + QPoint(bounds.left, bounds.top));
    } else {
        d->window->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    }
}

void paintIcon(QPainter& p, int id, int size) {
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / double(kIconGrid), size / double(kIconGrid));
    for (const IconShape& s : IconShapes(id)) {
        p.setBrush(s.fill == kNoColour ? QBrush(Qt::NoBrush) : QBrush(QColor::fromRgb(s.fill)));
        if (s.stroke == kNoColour)
            p.setPen(Qt::NoPen);
        else
            p.setPen(QPen(QColor::fromRgb(s.stroke), s.strokeWidth, Qt::SolidLine, Qt::RoundCap,
                          Qt::RoundJoin));
        const std::int16_t* c = s.coords;
        QRectF box(c[0], c[1], c[2], c[3]);
        switch (s.kind) {
        case IconShape::rect:
            p.drawRect(box);
            break;
        case IconShape::roundRect:
            p.drawRoundedRect(box, s.radius, s.radius);
            break;
        case IconShape::ellipse:
            p.drawEllipse(box);
            break;
        case IconShape::polygon: {
            QPolygonF poly;
            for (int i = 0; i < s.pointCount; ++i)
                poly << QPointF(c[2 * i], c[2 * i + 1]);
            if (s.fill == kNoColour)
                p.drawPolyline(poly);
            else
                p.drawPolygon(poly);
            break;
        }
        }
    }
}

} // namespace

// ---- modal windows -------------------------------------------------------------------------

namespace {

// Some window managers give every window a minimise box, whatever it asks for, and minimising
// a modal dialog takes the whole application with it, out of reach. It comes straight back.
class StayRestored : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::WindowStateChange) return false;
        auto* dialog = static_cast<QWidget*>(watched);
        if (dialog->isMinimized())
            QTimer::singleShot(0, dialog, [dialog] {
                if (QWidget* owner = dialog->parentWidget())
                    if (owner->window()->isMinimized()) owner->window()->showNormal();
                dialog->showNormal();
                dialog->activateWindow();
            });
        return false;
    }
};

} // namespace

void host::PrepareModalDialog(QDialog* dialog) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->installEventFilter(new StayRestored(dialog));
}

// ---- running -----------------------------------------------------------------------------

namespace {

// Typing goes to the first editable text item, its whole text selected, unless the dialog's
// procedure has already put the focus somewhere when it was created. Without this the host
// would give the focus to the first control in its own order, often a popup or a button.
void focusFirstTextItem(DialogRecord* d) {
    for (const DialogItem& item : d->items)
        if (item.widget && item.widget->hasFocus()) return;
    if (d->window->focusWidget()) return;
    for (const DialogItem& item : d->items) {
        if (auto* e = qobject_cast<QLineEdit*>(item.widget); e && e->isEnabled()) {
            e->setFocus();
            e->selectAll();
            return;
        }
    }
}

} // namespace

std::int16_t RunModalDialog(DialogId templateId, DialogProc proc, void* userData) {
    DialogTemplate t;
    if (ParseDialogTemplate(GetDialogTemplateBytes(templateId), &t) != noErr) return 0;
    DialogRecord d;
    d.templateId = static_cast<std::int16_t>(templateId);
    d.proc = proc;
    d.userData = userData;
    d.style = t.style;
    DialogWindow window(&d, dialogParent());
    d.window = &window;
    window.setWindowTitle(ToHostText(GetApplicationName()));
    host::PrepareModalDialog(&window);
    window.setFont(HostFont(StandardTextStyle(2)));
    d.quiet = true;
    for (const DialogTemplateItem& ti : t.items) {
        DialogItem item;
        item.id = ti.id;
        item.kind = ti.kind;
        item.rect = ti.rect;
        d.items.push_back(item);
        d.items.back().widget = makeItemWidget(&d, d.items.back(), ti.text, ti.iconId);
    }
    d.quiet = false;
    placeDialog(&d, t.bounds);

    WindowMessage created;
    created.kind = wmCreated;
    send(&d, created);
    focusFirstTextItem(&d);

    const ModalAnswerer& answerer = GetModalAnswerer();
    if (answerer.dialogStarting) answerer.dialogStarting(&d);
    ++modalDepth;
    int result = window.exec();
    --modalDepth;
    if (const ModalAnswerer& after = GetModalAnswerer(); after.dialogEnded)
        after.dialogEnded(&d, static_cast<std::int16_t>(result));
    if (d.port) DisposeOffscreenPort(d.port);
    return static_cast<std::int16_t>(result);
}

std::int16_t RunTextDialog(DialogId templateId, std::int16_t textItem, const char* text) {
    struct Question {
        std::int16_t item;
        const char* text;
    } q{textItem, text};
    return RunModalDialog(
        templateId,
        [](DialogPtr d, WindowMessage& msg) {
            if (msg.kind != wmCreated) return false;
            const auto* q = static_cast<const Question*>(GetDialogUserData(d));
            SetDialogItemText(d, q->item, q->text);
            return true;
        },
        &q);
}

void EndModalDialog(DialogPtr d, std::int16_t item) {
    if (!d || d->ending) return;
    d->ending = true;
    WindowMessage msg;
    msg.kind = wmEndModal;
    msg.item = item;
    send(d, msg);
    d->window->done(item);
}

bool ModalDialogUp() {
    return modalDepth > 0 || QApplication::activeModalWidget() != nullptr;
}

void* GetDialogUserData(DialogPtr d) {
    return d ? d->userData : nullptr;
}
std::int16_t GetDialogTemplateID(DialogPtr d) {
    return d ? d->templateId : 0;
}

GrafPtr GetDialogPort(DialogPtr d) {
    if (!d) return nullptr;
    if (!d->port)
        d->port =
            NewOffscreenPort(std::int16_t(d->window->width()), std::int16_t(d->window->height()));
    return d->port;
}

void InvalDialog(DialogPtr d) {
    if (d) d->window->update();
}

QDialog* GetHostDialog(DialogPtr d) {
    return d ? d->window : nullptr;
}

// ---- acting as the user would ---------------------------------------------------------------

bool IsDialogEnding(DialogPtr d) {
    return d && d->ending;
}

std::int16_t GetDialogCancelItem(DialogPtr d) {
    return d ? cancelItem(d) : 0;
}

int CountDialogItems(DialogPtr d) {
    return d ? static_cast<int>(d->items.size()) : 0;
}

std::int16_t GetIndDialogItem(DialogPtr d, int index) {
    if (!d || index < 1 || index > CountDialogItems(d)) return 0;
    return d->items[index - 1].id;
}

void TypeDialogItemText(DialogPtr d, std::int16_t item, const char* text) {
    DialogItem* it = d ? d->item(item) : nullptr;
    if (!it || !it->widget) return;
    if (auto* e = qobject_cast<QLineEdit*>(it->widget)) {
        e->setFocus();
        e->selectAll();
        e->del();
        e->insert(ToHostText(text)); // goes through the filter, as typing does
        return;
    }
    SetDialogItemText(d, item, text);
}

void ChooseDialogPopupValue(DialogPtr d, std::int16_t item, std::int32_t value) {
    DialogItem* it = d ? d->item(item) : nullptr;
    if (auto* c = it ? qobject_cast<QComboBox*>(it->widget) : nullptr) {
        c->setCurrentIndex(value - 1);
        emit c->activated(value - 1);
    }
}

bool ClickDialogItem(DialogPtr d, std::int16_t item) {
    DialogItem* it = d ? d->item(item) : nullptr;
    if (it && it->kind == kButtonItem && it->widget) {
        static_cast<QPushButton*>(it->widget.data())->click();
        return true;
    }
    if (d) controlClick(d, item);
    return false;
}

// ---- items -------------------------------------------------------------------------------

bool HasDialogItem(DialogPtr d, std::int16_t item) {
    return d && d->item(item);
}

std::uint16_t GetDialogItemKind(DialogPtr d, std::int16_t item) {
    DialogItem* it = d ? d->item(item) : nullptr;
    return it ? it->kind : 0;
}

std::string GetDialogItemText(DialogPtr d, std::int16_t item) {
    DialogItem* it = d ? d->item(item) : nullptr;
    if (!it || !it->widget) return {};
    QWidget* w = it->widget;
    if (auto* e = qobject_cast<QLineEdit*>(w)) return FromHostText(e->text()).toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return FromHostText(b->text()).toStdString();
    if (auto* c = qobject_cast<QComboBox*>(w)) return FromHostText(c->currentText()).toStdString();
    if (auto* l = qobject_cast<QLabel*>(w)) return FromHostText(l->text()).toStdString();
    return {};
}

void GetDialogItemText(DialogPtr d, std::int16_t item, char* text, int size) {
    if (!text || size <= 0) return;
    std::string s = GetDialogItemText(d, item);
    std::size_t n = std::min<std::size_t>(s.size(), std::size_t(size - 1));
    std::memcpy(text, s.data(), n);
    text[n] = 0;
}

void SetDialogItemText(DialogPtr d, std::int16_t item, const char* text) {
    DialogItem* it = d ? d->item(item) : nullptr;
    if (!it || !it->widget) return;
    QWidget* w = it->widget;
    QString s = ToHostText(text);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(s);
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(s);
    else if (auto* l = qobject_cast<QLabel*>(w); l && it->kind != kIconItem)
        l->setText(s);
}

void SelectDialogItemText(DialogPtr d, std::int16_t item) {
    DialogItem* it = d ? d->item(item) : nullptr;
    if (auto* e = it ? qobject_cast<QLineEdit*>(it->widget) : nullptr) {
        e->setFocus();
        e->selectAll();
    }
}

void EnableDialogItem(DialogPtr d, std::int16_t item, bool enabled) {
    DialogItem* it = d ? d->item(item) : nullptr;
    if (it && it->widget) it->widget->setEnabled(enabled);
}

bool IsDialogItemEnabled(DialogPtr d, std::int16_t item) {
    DialogItem* it = d ? d->item(item) : nullptr;
    return it && it->widget && it->widget->isEnabled();
}

void HideDialogItem(DialogPtr d, std::int16_t item) {
    DialogItem* it = d ? d->item(item) : nullptr;
    if (it && it->widget) it->widget->hide();
}

void ShowDialogItem(DialogPtr d, std::int16_t item) {
    DialogItem* it = d ? d->item(item) : nullptr;
    if (it && it->widget) it->widget->show();
}

Rect GetDialogItemRect(DialogPtr d, std::int16_t item) {
    DialogItem* it = d ? d->item(item) : nullptr;
    return it ? it->rect : Rect{};
}

void SetDialogItemRect(DialogPtr d, std::int16_t item, const Rect& r) {
    DialogItem* it = d ? d->item(item) : nullptr;
    if (!it) return;
    it->rect = r;
    if (it->widget) it->widget->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void AddDialogItem(DialogPtr d, std::int16_t item, std::uint16_t kind, const Rect& r,
                   const char* text, std::int16_t group) {
    if (!d || d->item(item)) return;
    DialogItem it;
    it.id = item;
    it.kind = kind;
    it.rect = r;
    it.group = group;
    d->items.push_back(it);
    DialogItem& added = d->items.back();
    added.widget = makeItemWidget(d, added, text ? text : "", kAppIconId);
}

std::int32_t GetDialogItemValue(DialogPtr d, std::int16_t item) {
    DialogItem* it = d ? d->item(item) : nullptr;
    if (!it || !it->widget) return 0;
    if (auto* c = qobject_cast<QComboBox*>(it->widget)) return c->currentIndex() + 1;
    if (auto* b = qobject_cast<QAbstractButton*>(it->widget)) return b->isChecked() ? 1 : 0;
    return 0;
}

void SetDialogItemValue(DialogPtr d, std::int16_t item, std::int32_t value) {
    DialogItem* it = d ? d->item(item) : nullptr;
    if (!it || !it->widget) return;
    if (auto* c = qobject_cast<QComboBox*>(it->widget)) {
        c->setCurrentIndex(value - 1);
    } else if (auto* b = qobject_cast<QAbstractButton*>(it->widget)) {
        if (it->kind == kRadioButtonItem && value)
            SelectRadioButton(d, item);
        else
            b->setChecked(value != 0);
    }
}

void SelectRadioButton(DialogPtr d, std::int16_t item) {
    DialogItem* chosen = d ? d->item(item) : nullptr;
    if (!chosen || chosen->kind != kRadioButtonItem) return;
    for (DialogItem& i : d->items)
        if (i.kind == kRadioButtonItem && i.group == chosen->group && i.widget)
            static_cast<QAbstractButton*>(i.widget.data())->setChecked(i.id == item);
}

std::int16_t GetSelectedRadioButton(DialogPtr d, std::int16_t item) {
    DialogItem* member = d ? d->item(item) : nullptr;
    if (!member || member->kind != kRadioButtonItem) return 0;
    for (DialogItem& i : d->items)
        if (i.kind == kRadioButtonItem && i.group == member->group && i.widget &&
            static_cast<QAbstractButton*>(i.widget.data())->isChecked())
            return i.id;
    return 0;
}

void AppendPopupItem(DialogPtr d, std::int16_t item, const char* text) {
    DialogItem* it = d ? d->item(item) : nullptr;
    if (auto* c = it ? qobject_cast<QComboBox*>(it->widget) : nullptr) c->addItem(ToHostText(text));
}

void AppendPopupStrings(DialogPtr d, std::int16_t item, StringListId list, int count) {
    for (int i = 1; i <= count; ++i)
        AppendPopupItem(d, item, std::string(GetIndString(list, i).view()).c_str());
}

int CountPopupItems(DialogPtr d, std::int16_t item) {
    DialogItem* it = d ? d->item(item) : nullptr;
    auto* c = it ? qobject_cast<QComboBox*>(it->widget) : nullptr;
    return c ? c->count() : 0;
}

std::int32_t GetPopupValue(DialogPtr d, std::int16_t item) {
    return GetDialogItemValue(d, item);
}
void SetPopupValue(DialogPtr d, std::int16_t item, std::int32_t value) {
    SetDialogItemValue(d, item, value);
}

void SetNumberFilter(DialogPtr d, std::int16_t item, long minimum, long maximum) {
    DialogItem* it = d ? d->item(item) : nullptr;
    auto* e = it ? qobject_cast<QLineEdit*>(it->widget) : nullptr;
    if (!e) return;
    it->hasRange = true;
    it->minimum = minimum;
    it->maximum = maximum;
    e->setValidator(new SignedRangeValidator(minimum, maximum, e));
}

bool GetDialogItemNumber(DialogPtr d, std::int16_t item, long* value) {
    DialogItem* it = d ? d->item(item) : nullptr;
    if (!it) return false;
    Str255 text(GetDialogItemText(d, item));
    long v = 0;
    if (!StringToNum(text, &v)) return false;
    if (it->hasRange && (v < it->minimum || v > it->maximum)) return false;
    if (value) *value = v;
    return true;
}

void SetDialogItemStyle(DialogPtr d, std::int16_t item, const TextStyle& style) {
    DialogItem* it = d ? d->item(item) : nullptr;
    if (it && it->widget) it->widget->setFont(HostFont(style));
}

void SetDialogItemUserValue(DialogPtr d, std::int16_t item, std::intptr_t value) {
    if (DialogItem* it = d ? d->item(item) : nullptr) it->userValue = value;
}

std::intptr_t GetDialogItemUserValue(DialogPtr d, std::int16_t item) {
    DialogItem* it = d ? d->item(item) : nullptr;
    return it ? it->userValue : 0;
}

// ---- host helpers ------------------------------------------------------------------------

QFont HostFont(const TextStyle& style) {
    return FontFor(style).font;
}

QPixmap GetIconPixmap(int id, int size) {
    if (id == kStopIconId || id == kCautionIconId) {
        QStyle* style = QApplication::style();
        return style
            ->standardIcon(id == kStopIconId ? QStyle::SP_MessageBoxCritical
                                             : QStyle::SP_MessageBoxWarning)
            .pixmap(size, size);
    }
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    paintIcon(p, id, size);
    return pixmap;
}

QIcon GetIcon(int id) {
    if (id == kStopIconId || id == kCautionIconId) return QIcon(GetIconPixmap(id, 32));
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(GetIconPixmap(id, size));
    return icon;
}
