// The user interface's fonts: a proportional family for captions and a monospace one for values,
// each in a big and a small size grown with the screen, and the layout unit taken from them.
#include "ui/fonts.h"

#include "common/err.h"
#include "common/qt_version.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QScreen>
#include <QStringList>
#include <QToolTip>
#include <QWidget>
#include <algorithm>
#include <iterator>

QFont font_name_big;
QFont font_name_small;
QFont font_value_big;
QFont font_value_small;
int module_w = 7;
int module_h = 16;
bool fonts_initialized = false;

const Font_typeface monospace_fonts[10] = {
    {"Andale Mono", 8}, {"Consolas", 1},        {"Courier", 9}, {"Deja Vu Sans Mono", 0}, {"Droid Sans Mono", 3},
    {"Inconsolata", 2}, {"Monaco", 7},          {"Monofur", 5}, {"Profont", 6},           {"Proggy", 4},
};

namespace {

// Internal-error code of this module for a place.
constexpr unsigned short fonts_code(unsigned char place)
{
    return 0x200 | place;
}

// Sizes beyond this would overflow an int once grown by the biggest factor.
constexpr int max_font_size = 1193046470;
constexpr int max_unit = 32767;
constexpr quint64 one = 1000000;

enum class Order { family_below, match, entry_below };

ushort fold_ascii(ushort c)
{
    return c >= 'A' && c <= 'Z' ? ushort(c + ('a' - 'A')) : c;
}

// Whether the family begins with the entry's name (ASCII letters in any case, the entry's
// blanks optional), or else which of the two sorts first at the first difference.
Order compare_with_entry(const QString& family, const char* entry)
{
    int i = 0;
    for (const char* e = entry; *e;) {
        const ushort wanted = fold_ascii(static_cast<unsigned char>(*e));
        if (i < family.size() && fold_ascii(family[i].unicode()) == wanted) {
            ++i;
            ++e;
        } else if (*e == ' ') {
            ++e;
        } else if (i == family.size() || fold_ascii(family[i].unicode()) < wanted) {
            return Order::family_below;
        } else {
            return Order::entry_below;
        }
    }
    return Order::match;
}

// Every font problem ends here: the application font everywhere and its own unit.
void use_application_font(const QFont& app_font, int width, int height)
{
    font_name_big = font_name_small = font_value_big = font_value_small = app_font;
    module_w = width;
    module_h = height;
}

// The width of 0 and the line height; false, with the internal error logged, when unusable.
bool measure_unit(const QFontMetrics& metrics, unsigned char range_error_place, int& width, int& height)
{
    if (!metrics.inFont(QLatin1Char('0'))) {
        log_debug(fonts_code(178));
        return false;
    }
    width = metrics.horizontalAdvance(QLatin1Char('0'));
    height = metrics.height();
    if (width < 1 || width > max_unit || height < 1 || height > max_unit) {
        log_debug(fonts_code(range_error_place));
        return false;
    }
    return true;
}

// The area of the screen that the widget is on, without panels.
bool available_area(QWidget& widget, quint64& width, quint64& height)
{
    const QScreen* screen = widget.screen();
    if (!screen) {
        log_debug(fonts_code(93));
        return false;
    }
    const QRect area = screen->availableGeometry();
    if (area.width() <= 0 || area.height() <= 0) {
        log_debug(fonts_code(177));
        return false;
    }
    width = quint64(area.width());
    height = quint64(area.height());
    return true;
}

QString choose_value_family()
{
    QStringList families = RUVO_FONT_DATABASE(families(QFontDatabase::Cyrillic));
    families.sort(Qt::CaseInsensitive);
    const QString best = find_best_typeface(families, monospace_fonts, std::size(monospace_fonts));
    return best.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont).family() : best;
}

template <typename Make>
void assign_fonts(const Make& make, const QString& caption_family, const QString& value_family,
                  const Font_scale& scale)
{
    font_name_big = make(caption_family, scale.big);
    font_value_big = make(value_family, scale.big);
    font_name_small = make(caption_family, scale.small);
    font_value_small = make(value_family, scale.small);
}

}  // namespace

QString find_best_typeface(const QStringList& families, const Font_typeface* table, unsigned long count,
                           const std::function<bool(const QString&)>& accept)
{
    QString best;
    unsigned best_preference = 255;
    int f = 0;
    unsigned long t = 0;
    while (f < families.size() && t < count) {
        switch (compare_with_entry(families[f], table[t].name)) {
        case Order::family_below:
            ++f;
            break;
        case Order::entry_below:
            ++t;
            break;
        case Order::match:
            if (table[t].preference < best_preference && accept(families[f])) {
                best = families[f];
                best_preference = table[t].preference;
            }
            ++f;
            break;
        }
    }
    return best;
}

bool is_acceptable_typeface(const QString& family)
{
    return RUVO_FONT_DATABASE(writingSystems(family)).contains(QFontDatabase::Latin) &&
           RUVO_FONT_DATABASE(isFixedPitch(family)) && !RUVO_FONT_DATABASE(isPrivateFamily(family)) &&
           RUVO_FONT_DATABASE(isSmoothlyScalable(family)) &&
           RUVO_FONT_DATABASE(styles(family)).contains(QStringLiteral("Normal"));
}

QString find_best_typeface(const QStringList& families, const Font_typeface* table, unsigned long count)
{
    return find_best_typeface(families, table, count, is_acceptable_typeface);
}

Font_scale font_scale(quint64 screen_w, quint64 screen_h, quint64 digit_w, quint64 line_h)
{
    const quint64 big = std::min(screen_w * 5833 / digit_w, screen_h * 25000 / line_h);
    const quint64 small = std::min(screen_w * 4375 / digit_w, screen_h * 18750 / line_h);
    return {std::clamp(big, one, quint64(1800000)), std::clamp(small, one, quint64(1600000))};
}

int scaled_font_size(int size, quint64 factor)
{
    return int(quint64(size) * factor / one);
}

bool build_fonts(const QFont& app_font, const QString& caption_family, const QString& value_family,
                 const Font_scale& scale)
{
    const int points = app_font.pointSize();
    if (points > max_font_size) {
        log_debug(fonts_code(109));
        return false;
    }
    if (points > 0) {
        assign_fonts(
            [&](const QString& family, quint64 factor) {
                return QFont(family, scaled_font_size(points, factor), app_font.weight(), false);
            },
            caption_family, value_family, scale);
        return true;
    }
    if (points == 0) {
        log_debug(fonts_code(58));
        return false;
    }
    const int pixels = app_font.pixelSize();
    if (pixels < 0 || pixels > max_font_size) {
        log_debug(fonts_code(pixels < 0 ? 57 : 110));
        return false;
    }
    assign_fonts(
        [&](const QString& family, quint64 factor) {
            QFont font;
            font.setFamily(family);
            font.setPixelSize(scaled_font_size(pixels, factor));
            return font.resolve(app_font);
        },
        caption_family, value_family, scale);
    return true;
}

void init_fonts(QWidget& widget)
{
    if (fonts_initialized)
        return;
    fonts_initialized = true;
    const QFont app_font = QApplication::font(&widget);
    int digit_w;
    int line_h;
    if (!measure_unit(QFontMetrics(app_font, &widget), 179, digit_w, line_h)) {
        use_application_font(app_font, 7, 16);
        return;
    }
    quint64 screen_w;
    quint64 screen_h;
    if (!available_area(widget, screen_w, screen_h) ||
        !build_fonts(app_font, app_font.family(), choose_value_family(),
                     font_scale(screen_w, screen_h, quint64(digit_w), quint64(line_h))) ||
        !measure_unit(QFontMetrics(font_name_big, &widget), 161, module_w, module_h)) {
        use_application_font(app_font, digit_w, line_h);
        return;
    }
    QApplication::setFont(font_name_big);
    QToolTip::setFont(font_name_small);
}

int dec_digit_width(const QFontMetrics& metrics)
{
    int width = 0;
    for (char c = '0'; c <= '9'; ++c)
        width = qMax(width, metrics.horizontalAdvance(QLatin1Char(c)));
    return width;
}

void digit_width(const QFontMetrics& metrics, int& dec, int& hex)
{
    dec = dec_digit_width(metrics);
    hex = dec;
    for (char c : {'A', 'B', 'C', 'D', 'E', 'F', 'a', 'b', 'c', 'd', 'e', 'f'})
        hex = qMax(hex, metrics.horizontalAdvance(QLatin1Char(c)));
}
