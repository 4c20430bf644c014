// Reading a whole file into memory in one piece, with strict checks and precise messages.
#pragma once

#include <QByteArray>
#include <QString>

// Largest file the loaders accept, in bytes.
constexpr qint64 max_loaded_file_size = 67108864;

// False, with data untouched, only when the file does not exist; throws Err on any other failure.
bool load_file_if(const QString& name, QByteArray& data);
// As load_file_if, and the data must hold no zero byte, so that its terminator is the only one.
bool load_text_file_if(const QString& name, QByteArray& data);
// As load_text_file_if, and a missing file is an error too.
void load_text_file(const QString& name, QByteArray& data);
