// One client message on its way to the modem, in one allocation with its data area.
#include "tcp/frame.h"

#include "common/err.h"

#include <limits>
#include <new>

namespace {

Tr errfmt_no_mem{TR_TEXT("log", "Не удалось выделить буфер размером %1 байтов для работы с сообщениями.")};

}  // namespace

Frame* Frame::alloc(size_t size, Link_port& requester, quint64 eui)
{
    void* p = size <= std::numeric_limits<size_t>::max() - sizeof(Frame)
                  ? ::operator new(sizeof(Frame) + size, std::nothrow)
                  : nullptr;
    if (!p)
        throw Err(QString(errfmt_no_mem.tr()).arg(size));
    Frame* f = new (p) Frame;
    f->next = nullptr;
    f->send = nullptr;
    f->not_send = nullptr;
    f->requester = &requester;
    f->round = 0;
    f->is_frame = true;
    f->eui = eui;
    f->data_end = f->data() + size;
    f->size = 0;
    return f;
}

void Frame::free(Frame* frame)
{
    ::operator delete(frame);
}
