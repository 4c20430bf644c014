// Data commands that carry the frames of several modems at once: which queued frames join the
// frame about to be sent, how many travel together, and the command's text.
#include "link/ws_batch.h"

#include "common/hex.h"
#include "link/fair_queue.h"
#include "tcp/frame.h"

namespace {

// The pieces of the data command, around the modem's EUI and the frame's bytes in hexadecimal.
const char sdata_head[] = "{\"cmd\":\"send_data_req\",\"data_list\":[";
const char sdata_element_eui[] = "{\"devEui\":\"";
// The frame is prefixed with 04, the modem's code for data to pass on to its serial line.
const char sdata_element_data[] = "\",\"data\":\"04";
// The LoRa port that carries modem data.
const char sdata_element_port[] = "\",\"port\":2}";
const char sdata_tail[] = "]}";
const char hex_table_lowercase[17] = "0123456789abcdef";

// Appends the EUI as 16 uppercase digits and the frame's bytes as lowercase ones, as the server
// has always been sent them.
void append_eui(QByteArray& text, quint64 eui)
{
    char digits[16];
    for (int i = 15; i >= 0; --i, eui >>= 4)
        digits[i] = hex_table_uppercase[eui & 0x0F];
    text.append(digits, 16);
}

void append_hex(QByteArray& text, const unsigned char* bytes, size_t size)
{
    const int at = text.size();
    text.resize(at + static_cast<int>(2 * size));
    char* out = text.data() + at;
    for (size_t i = 0; i < size; ++i) {
        *out++ = hex_table_lowercase[bytes[i] >> 4];
        *out++ = hex_table_lowercase[bytes[i] & 0x0F];
    }
}

}  // namespace

void gather_batch(Frame& first, Fair_queue& queue, int max)
{
    Query** batch_end = &first.next;
    for (int count = 1; count < max; ++count) {
        Query* f = queue.pop_frame_besides(&first);
        if (!f)
            return;
        *batch_end = f;
        batch_end = &f->next;
    }
}

int batch_size(const Query* first)
{
    int n = 0;
    for (const Query* q = first; q; q = q->next)
        ++n;
    return n;
}

QByteArray sdata_command(Frame& first)
{
    int size = static_cast<int>(sizeof sdata_head + sizeof sdata_tail);
    for (Query* q = &first; q; q = q->next)
        size += static_cast<int>(sizeof sdata_element_eui + 16 + sizeof sdata_element_data +
                                 2 * static_cast<Frame*>(q)->size + sizeof sdata_element_port);
    QByteArray text;
    text.reserve(size);
    text += sdata_head;
    for (Query* q = &first; q; q = q->next) {
        Frame& frame = *static_cast<Frame*>(q);
        if (q != &first)
            text += ',';
        text += sdata_element_eui;
        append_eui(text, frame.eui);
        text += sdata_element_data;
        append_hex(text, frame.data(), frame.size);
        text += sdata_element_port;
    }
    text += sdata_tail;
    return text;
}
