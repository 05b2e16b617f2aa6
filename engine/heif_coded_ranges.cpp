// CodedPictureRanges: the top-level boxes, then meta's iinf (item types) and
// iloc (item extents), following libheif's parse of these boxes field by
// field, so that the ranges are exactly the reads libheif makes for the
// coded pictures.
#include "heif_coded_ranges.h"

#include <QHash>

#include <algorithm>

namespace kestova {

namespace {

constexpr quint32 FourCc(const char (&s)[5])
{
    return quint32(uchar(s[0])) << 24 | quint32(uchar(s[1])) << 16 | quint32(uchar(s[2])) << 8 | uchar(s[3]);
}

struct Box {
    quint32 type = 0;
    qint64 payload = 0; // after the header
    qint64 end = 0;
};

// The box at offset, which must fit before limit. A size of 0 is an error
// to libheif, not "up to the end of the file".
bool ReadBox(ImageSource &source, qint64 offset, qint64 limit, Box *box)
{
    quint32 size32 = 0;
    if (limit - offset < 8 || !source.u32(offset, true, &size32) || !source.u32(offset + 4, true, &box->type))
        return false;
    quint64 size = size32;
    qint64 header = 8;
    if (size32 == 1) {
        if (limit - offset < 16 || !source.u64(offset + 8, true, &size))
            return false;
        header = 16;
    }
    if (box->type == FourCc("uuid"))
        header += 16;
    if (size < quint64(header) || size > quint64(limit - offset))
        return false;
    box->payload = offset + header;
    box->end = offset + qint64(size);
    return true;
}

// Reads fields one after another within a box; any read past its end fails
// the whole parse.
class Fields
{
public:
    Fields(ImageSource &source, const Box &box) : m_source(source), m_at(box.payload), m_end(box.end) {}

    bool u8(quint8 *v) { return take(1) && m_source.u8(m_at - 1, v); }
    bool u16(quint16 *v) { return take(2) && m_source.u16(m_at - 2, true, v); }
    bool u32(quint32 *v) { return take(4) && m_source.u32(m_at - 4, true, v); }
    bool u64(quint64 *v) { return take(8) && m_source.u64(m_at - 8, true, v); }
    bool skip(qint64 n) { return take(n); }
    // A field of 0, 4 or 8 bytes; other sizes libheif reads as absent, and
    // so are not read here either.
    bool sized(int size, quint64 *v)
    {
        quint32 v32 = 0;
        *v = 0;
        if (size == 4 && !u32(&v32))
            return false;
        if (size == 4)
            *v = v32;
        return size != 8 || u64(v);
    }
    qint64 at() const { return m_at; }

private:
    bool take(qint64 n)
    {
        if (m_end - m_at < n)
            return false;
        m_at += n;
        return true;
    }

    ImageSource &m_source;
    qint64 m_at;
    qint64 m_end;
};

// Item types by ID from the infe boxes in iinf (versions 2 and 3 name a
// type; 0 and 1 do not). libheif reads every child once the count is not 0.
bool ReadItemTypes(ImageSource &source, const Box &iinf, QHash<quint32, quint32> *types)
{
    Fields f(source, iinf);
    quint8 version = 0;
    quint32 count = 0;
    quint16 count16 = 0;
    if (!f.u8(&version) || !f.skip(3))
        return false;
    if (version == 0 ? !f.u16(&count16) : !f.u32(&count))
        return false;
    if (version == 0)
        count = count16;
    if (count == 0)
        return true;
    for (qint64 at = f.at(); at < iinf.end;) {
        Box child;
        if (!ReadBox(source, at, iinf.end, &child))
            return false;
        at = child.end;
        if (child.type != FourCc("infe"))
            continue;
        Fields e(source, child);
        quint8 v = 0;
        quint16 id16 = 0;
        quint32 id = 0;
        quint32 type = 0;
        if (!e.u8(&v) || !e.skip(3))
            return false;
        if (v <= 1) {
            if (!e.u16(&id16))
                return false;
            id = id16;
        } else if (v == 2 ? !e.u16(&id16) : !e.u32(&id)) {
            return false;
        } else {
            if (v == 2)
                id = id16;
            if (!e.skip(2) || !e.u32(&type))
                return false;
        }
        // libheif keeps the first infe of an ID; a second one is unexpected.
        if (types->contains(id))
            return false;
        types->insert(id, type);
    }
    return true;
}

struct Item {
    quint32 id = 0;
    quint8 constructionMethod = 0;
    quint64 baseOffset = 0;
    std::vector<ByteRange> extents;
};

bool ReadItemLocations(ImageSource &source, const Box &iloc, std::vector<Item> *items)
{
    Fields f(source, iloc);
    quint8 version = 0;
    quint16 sizes = 0;
    if (!f.u8(&version) || !f.skip(3) || version > 2 || !f.u16(&sizes))
        return false;
    const int offsetSize = sizes >> 12 & 0xF;
    const int lengthSize = sizes >> 8 & 0xF;
    const int baseOffsetSize = sizes >> 4 & 0xF;
    // libheif reads an extent index only from version 2 on.
    const int indexSize = version > 1 ? sizes & 0xF : 0;
    quint32 count = 0;
    quint16 count16 = 0;
    if (version < 2 ? !f.u16(&count16) : !f.u32(&count))
        return false;
    if (version < 2)
        count = count16;
    if (count > 20000)
        return false;
    for (quint32 i = 0; i < count; ++i) {
        Item item;
        quint16 id16 = 0;
        quint16 method = 0;
        quint16 extentCount = 0;
        quint64 index = 0;
        if (version < 2 ? !f.u16(&id16) : !f.u32(&item.id))
            return false;
        if (version < 2)
            item.id = id16;
        if (version >= 1 && !f.u16(&method))
            return false;
        item.constructionMethod = quint8(method & 0xF);
        if (!f.skip(2) || !f.sized(baseOffsetSize, &item.baseOffset) || !f.u16(&extentCount) || extentCount > 32)
            return false;
        for (int e = 0; e < extentCount; ++e) {
            quint64 offset = 0;
            quint64 length = 0;
            if (!f.sized(indexSize, &index) || !f.sized(offsetSize, &offset) || !f.sized(lengthSize, &length))
                return false;
            // Positions beyond any file: libheif turns the file away itself.
            constexpr quint64 Far = quint64(1) << 56;
            if (item.baseOffset > Far || offset > Far || length > Far)
                return false;
            const qint64 start = qint64(item.baseOffset + offset);
            item.extents.push_back({start, start + qint64(length)});
        }
        items->push_back(std::move(item));
    }
    return true;
}

bool Overlap(const ByteRange &a, const ByteRange &b)
{
    return a.start < b.end && b.start < a.end;
}

} // namespace

std::vector<ByteRange> CodedPictureRanges(ImageSource &source)
{
    // The top-level boxes, as far as they fit.
    std::vector<ByteRange> mdats;
    Box meta;
    int metas = 0;
    Box box;
    for (qint64 at = 0; at < source.size() && ReadBox(source, at, source.size(), &box); at = box.end) {
        if (box.type == FourCc("meta")) {
            meta = box;
            ++metas;
        } else if (box.type == FourCc("mdat")) {
            mdats.push_back({box.payload, box.end});
        }
        if (mdats.size() + metas > 64)
            return {};
    }
    if (metas != 1 || mdats.empty())
        return {};

    Box iinf;
    Box iloc;
    int iinfs = 0;
    int ilocs = 0;
    for (qint64 at = meta.payload + 4; at < meta.end; at = box.end) {
        if (!ReadBox(source, at, meta.end, &box))
            return {};
        if (box.type == FourCc("iinf")) {
            iinf = box;
            ++iinfs;
        } else if (box.type == FourCc("iloc")) {
            iloc = box;
            ++ilocs;
        }
    }
    QHash<quint32, quint32> types;
    std::vector<Item> items;
    if (iinfs != 1 || ilocs != 1 || !ReadItemTypes(source, iinf, &types) || !ReadItemLocations(source, iloc, &items))
        return {};

    // libheif reads the data of each item it has an infe for (the first
    // iloc entry of its ID); the coded pictures' data it only copies.
    std::vector<ByteRange> coded;
    std::vector<ByteRange> read = {{0, meta.end}};
    QHash<quint32, bool> located;
    for (const Item &item : items) {
        if (located.contains(item.id))
            return {};
        located.insert(item.id, true);
        const auto type = types.constFind(item.id);
        if (type == types.constEnd() || item.constructionMethod != 0)
            continue;
        const bool picture = *type == FourCc("hvc1") || *type == FourCc("av01");
        for (const ByteRange &extent : item.extents) {
            if (extent.end > extent.start)
                (picture ? coded : read).push_back(extent);
        }
    }
    for (const ByteRange &c : coded) {
        const bool inMdat = std::any_of(mdats.begin(), mdats.end(),
                                        [&c](const ByteRange &m) { return c.start >= m.start && c.end <= m.end; });
        if (!inMdat || std::any_of(read.begin(), read.end(), [&c](const ByteRange &r) { return Overlap(c, r); }))
            return {};
    }
    std::sort(coded.begin(), coded.end(), [](const ByteRange &a, const ByteRange &b) { return a.start < b.start; });
    return coded;
}

} // namespace kestova
