// SPDX-License-Identifier: MIT
#include "engine/DatabaseFile.h"

#include "common/CodePage932.h"
#include "common/FileAccess.h"

#include <QFile>
#include <QtEndian>

#include <bit>
#include <cstring>
#include <vector>

namespace {

using Slot = std::array<char, kSlotBytes>;

void PutInt(Slot& slot, int offset, int32_t v)
{
    qToLittleEndian(v, slot.data() + offset);
}

void PutFloat(Slot& slot, int offset, float v)
{
    qToLittleEndian(std::bit_cast<uint32_t>(v), slot.data() + offset);
}

int32_t GetInt(const char* p)
{
    return qFromLittleEndian<int32_t>(p);
}

float GetFloat(const char* p)
{
    return std::bit_cast<float>(qFromLittleEndian<uint32_t>(p));
}

Slot Separator(int32_t bucket)
{
    Slot s{};
    PutInt(s, 4, bucket);
    return s;
}

Slot GlyphSlot(const clsChr& g)
{
    Slot s{};
    PutInt(s, 0, g.AsciiNo);
    PutFloat(s, 4, g.TL);
    PutFloat(s, 8, g.TR);
    PutFloat(s, 12, g.BL);
    PutFloat(s, 16, g.BR);
    return s;
}

bool IsGlyphCode(int32_t code)
{
    const bool inRange = (code >= 0x8000 && code <= 0x9FFF) || (code >= 0xE000 && code <= 0xFFFF);
    return inRange && !CharFromCode(code).isEmpty();
}

} // namespace

Outcome WriteDatabase(const QString& path, const GlyphBucketArray& buckets, const DatabaseProgress& progress)
{
    return WriteWholeFile(path, [&](QFileDevice& file) {
        auto fail = [&] { return Outcome::FromFile(path, file); };
        const double k = double(GlyphCount(buckets));
        int32_t n = 0;
        auto put = [&](const Slot& s) { return file.write(s.data(), s.size()) == qint64(s.size()); };
        for (int32_t b = 0; b < kBucketCount; ++b) {
            if (!put(Separator(b)))
                return fail();
            ++n;
            for (const auto& glyph : buckets[b]) {
                if (!put(GlyphSlot(*glyph)))
                    return fail();
                if (n % kProgressSlotStep == 0 && progress && !progress(double(n - b) / k * 100))
                    return Outcome::Stopped(); // the old file stays whole
                ++n;
            }
        }
        return put(Separator(0)) ? Outcome::Done() : fail();
    });
}

namespace {

// Reads the whole file; one longer than any database is refused before it is
// read, so that no file makes the reader take more memory than that.
Outcome ReadDatabaseBytes(const QString& path, QByteArray& data)
{
    QFile file;
    if (Outcome opened = OpenForReading(path, file); !opened.IsDone())
        return opened;
    const qint64 fileLength = OpenedFileLength(file);
    if (fileLength > kLargestDatabaseBytes)
        return Outcome::Damaged(Damage::DatabaseTooLong, path,
                                QStringLiteral("the file is %1 bytes long, more than any glyph database (%2)")
                                    .arg(fileLength)
                                    .arg(kLargestDatabaseBytes),
                                {fileLength, kLargestDatabaseBytes});
    // The database is small (about 130 kB); reading it at once also lets the
    // parser check every slot against the real end of the data.
    data = file.read(kLargestDatabaseBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return Outcome::FromFile(path, file);
    if (data.size() > kLargestDatabaseBytes)
        return Outcome::Damaged(
            Damage::DatabaseGrew, path,
            QStringLiteral("the file grew beyond the size of any glyph database while it was read"));
    if (data.isEmpty())
        return Outcome::Damaged(Damage::DatabaseEmpty, path, QStringLiteral("the file is empty"));
    return Outcome::Done();
}

// Every code is later written out as a character: anything but one
// double-byte character, once, would break the columns of every row.
Outcome CodeProblem(const QString& path, int32_t slot, int32_t code, std::vector<bool>& seen)
{
    if (!IsGlyphCode(code))
        return Outcome::Damaged(Damage::DatabaseNotDoubleByte, path,
                                QStringLiteral("slot %1 holds the code 0x%2, which is no double-byte character")
                                    .arg(slot)
                                    .arg(uint32_t(code), 0, 16),
                                {slot, qint64(uint32_t(code))});
    if (seen[size_t(code)])
        return Outcome::Damaged(Damage::DatabaseRepeatedCode, path,
                                QStringLiteral("slot %1 repeats the code 0x%2").arg(slot).arg(code, 0, 16),
                                {slot, code});
    seen[size_t(code)] = true;
    return Outcome::Done();
}

std::shared_ptr<clsChr> GlyphFromSlot(const char* slot, int32_t code)
{
    auto g = std::make_shared<clsChr>();
    g->AsciiNo = code;
    g->TL = GetFloat(slot + 4);
    g->TR = GetFloat(slot + 8);
    g->BL = GetFloat(slot + 12);
    g->BR = GetFloat(slot + 16);
    return g;
}

} // namespace

Outcome ReadDatabase(const QString& path, GlyphBucketArray& buckets, const DatabaseProgress& progress)
{
    QByteArray data;
    if (Outcome read = ReadDatabaseBytes(path, data); !read.IsDone())
        return read;
    GlyphBucketArray loaded;
    std::vector<bool> seen(0x10000);
    const qsizetype length = data.size();
    int bucket = -1;
    for (int32_t i = 0;; ++i) {
        const qsizetype offset = qsizetype(i) * kSlotBytes;
        if (offset + kSlotBytes > length)
            return Outcome::Damaged(Damage::DatabaseEndsEarly, path,
                                    QStringLiteral("the file ends before its last separator"));
        const char* slot = data.constData() + offset;
        const int32_t code = GetInt(slot);
        if (code == 0 && ++bucket == kBucketCount) {
            for (int b = 0; b < kBucketCount; ++b)
                buckets[b].swap(loaded[b]);
            return Outcome::Done();
        }
        if (code != 0 && bucket < 0)
            return Outcome::Damaged(Damage::DatabaseGlyphFirst, path,
                                    QStringLiteral("a character comes before the first separator"));
        if (code != 0) {
            if (Outcome problem = CodeProblem(path, i, code, seen); !problem.IsDone())
                return problem;
            loaded[bucket].push_back(GlyphFromSlot(slot, code));
        }
        if (i % kProgressSlotStep == 0 && progress && !progress(double(offset) / double(length) * 100))
            return Outcome::Stopped();
    }
}
