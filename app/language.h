// The language of the program's texts: Russian, the source language of every text, or English
// through the translation built into the program; chosen by --lang= or by the "language" key.
#pragma once

#include <QString>

// Every text of the program appears in the language from now on (all are translated at once, see
// translate_texts); false when its translation cannot be loaded.
bool use_language(const QString& code);

// Reads the --lang= options before the rest of the command line, so that its errors and the help box
// already appear in the chosen language, and counts them in `options`. Returns -1 to go on, or the
// exit code after an error box.
int take_language_option(int argc, char** argv, int& options);
bool is_language_option(const char* arg);

// Applies the configuration's "language" key unless the command line has chosen; throws Err when
// the translation cannot be loaded.
void use_configured_language();
