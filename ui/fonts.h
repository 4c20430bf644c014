// The user interface's fonts, chosen once at start from the screen and the installed families,
// the layout unit derived from them, and the digit widths that size value fields.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>

class QFontMetrics;
class QWidget;

// Captions: the application font's family; values: the chosen monospace family.
extern QFont font_name_big;
extern QFont font_name_small;
extern QFont font_value_big;
extern QFont font_value_small;
// Width of the digit 0 and line height of font_name_big; dialogs size themselves in these units.
extern int module_w;
extern int module_h;
extern bool fonts_initialized;

// A monospace family-name prefix and its preference (0 is the most wanted).
struct Font_typeface {
    const char* name;
    unsigned char preference;
};

// Sorted by name: the search walks it together with the sorted family list.
extern const Font_typeface monospace_fonts[10];

// Chooses the four fonts and the layout unit; only the first call does anything.
void init_fonts(QWidget& widget);

// The best family of the case-insensitively sorted list by the table, or an empty string.
QString find_best_typeface(const QStringList& families, const Font_typeface* table, unsigned long count);
// The walk behind find_best_typeface; accept decides on each candidate worth examining.
QString find_best_typeface(const QStringList& families, const Font_typeface* table, unsigned long count,
                           const std::function<bool(const QString&)>& accept);
// Latin, fixed-pitch, public, smoothly scalable and with a "Normal" style.
bool is_acceptable_typeface(const QString& family);

// Growth of the big and small fonts with the screen, in millionths.
struct Font_scale {
    quint64 big;
    quint64 small;
};
// From the available screen area and the width of 0 and the line height of the application font.
Font_scale font_scale(quint64 screen_w, quint64 screen_h, quint64 digit_w, quint64 line_h);
// A point or pixel size grown by a factor in millionths (truncated).
int scaled_font_size(int size, quint64 factor);
// Builds the four fonts from the application font and the families at the given scale;
// false (with the internal error logged) when the application font's size is unusable.
bool build_fonts(const QFont& app_font, const QString& caption_family, const QString& value_family,
                 const Font_scale& scale);

int dec_digit_width(const QFontMetrics& metrics);
void digit_width(const QFontMetrics& metrics, int& dec, int& hex);
