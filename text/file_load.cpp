// Reading a whole file into memory in one piece, with strict checks and precise messages.
#include "text/file_load.h"

#include "common/err.h"

#include <QFile>
#include <cstring>
#include <sys/stat.h>

namespace {

Tr errfmt_open{TR_TEXT("file", "Ошибка при попытке открыть файл «%1»: error=%2, errorString=«%3».")};
Tr errfmt_not_random_access{TR_TEXT("file",
                                    "Файл «%1» не является обычным (random-access) файлом - не умею работать с "
                                    "такими файлами.")};
Tr errfmt_size{TR_TEXT("file", "Ошибка при попытке определить размер файла «%1»: error=%2, errorString=«%3».")};
Tr errfmt_too_big{TR_TEXT("file", "Файл «%1» слишком большой (должен быть не длиннее %2 байтов).")};
Tr errfmt_read{TR_TEXT("file",
                       "Ошибка при чтении содержимого файла «%1»: файл имеет размер %2 байтов, но прочиталось %3 "
                       "байтов, error=%4, errorString=«%5».")};
Tr errfmt_not_to_end{TR_TEXT("file", "Не удалось прочитать до конца содержимое файла «%1».")};
Tr errfmt_zero_bytes{TR_TEXT("file", "Файл «%1» не может быть текстовым: он содержит нулевые байты.")};
Tr errfmt_not_found{TR_TEXT("file", "Не найден файл «%1».")};

// Opening a FIFO for reading would wait for a writer, so it is refused by its type beforehand.
bool is_fifo_or_socket(const QString& name)
{
    struct stat st;
    if (stat(QFile::encodeName(name).constData(), &st) != 0)
        return false;
    return S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
}

Err not_random_access(const QString& name)
{
    return Err(errfmt_not_random_access.tr().arg(name));
}

void read_whole(QFile& file, const QString& name, qint64 size, QByteArray& data)
{
    data.resize(static_cast<int>(size));
    const qint64 got = file.read(data.data(), size);
    if (got != size) {
        data.clear();
        throw Err(errfmt_read.tr().arg(name, QString::number(size), QString::number(got),
                                       QString::number(file.error()), file.errorString()));
    }
    if (!file.atEnd()) {
        data.clear();
        throw Err(errfmt_not_to_end.tr().arg(name));
    }
}

}  // namespace

bool load_file_if(const QString& name, QByteArray& data)
{
    if (is_fifo_or_socket(name))
        throw not_random_access(name);
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        if (file.error() == QFileDevice::OpenError && !file.exists())
            return false;
        throw Err(errfmt_open.tr().arg(name, QString::number(file.error()), file.errorString()));
    }
    if (file.isSequential())
        throw not_random_access(name);
    const qint64 size = file.size();
    if (size < 0)
        throw Err(errfmt_size.tr().arg(name, QString::number(file.error()), file.errorString()));
    if (size > max_loaded_file_size)
        throw Err(errfmt_too_big.tr().arg(name, QString::number(max_loaded_file_size)));
    if (size == 0)
        data.clear();
    else
        read_whole(file, name, size, data);
    file.close();
    return true;
}

bool load_text_file_if(const QString& name, QByteArray& data)
{
    if (!load_file_if(name, data))
        return false;
    if (memchr(data.constData(), 0, static_cast<size_t>(data.size()))) {
        data.clear();
        throw Err(errfmt_zero_bytes.tr().arg(name));
    }
    return true;
}

void load_text_file(const QString& name, QByteArray& data)
{
    if (!load_text_file_if(name, data))
        throw Err(errfmt_not_found.tr().arg(name));
}
