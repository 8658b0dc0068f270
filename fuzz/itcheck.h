// Structural check of a written IT file, shared by the fuzz targets and the malformed-input test.
#pragma once
#include "kzmbytes.h"

#include <cstdint>
#include <string>
#include <vector>

// Returns "" when bytes are an IT file laid out as the writer lays one out, else the first fault found:
// "IMPM", OrdNum 1..256 order bytes ending in 255, InsNum 0, counts within the records, offset tables
// inside the file; sample headers one after another, each "IMPS"; pattern headers one after another
// after them, each table entry pointing at its header (0 for an empty pattern), Rows 1..256, packed data
// of whole IT entries with no more end-of-row bytes than Rows; then the sample data, slot after slot to
// the end of the file, each SamplePointer at its slot's data, Length in frames and the data-present
// flag agreeing with the bytes there, never more than a slot's data area.
inline std::string itcheck(const std::vector<uint8_t>& it)
{
    const size_t size = it.size();
    auto u16 = [&](size_t at) { return get_u16le(&it[at]); };
    auto u32 = [&](size_t at) { return get_u32le(&it[at]); };
    auto fault = [](const std::string& what, size_t at) { return what + " (at " + std::to_string(at) + ")"; };

    if (size < 193 || it[0] != 'I' || it[1] != 'M' || it[2] != 'P' || it[3] != 'M')
        return "no IMPM song header";
    const size_t ordnum = u16(32), insnum = u16(34), smpnum = u16(36), patnum = u16(38);
    if (ordnum < 1 || ordnum > 256)
        return "OrdNum " + std::to_string(ordnum);
    if (insnum != 0)
        return "InsNum " + std::to_string(insnum);
    if (smpnum > 99 || patnum > 199)
        return "SmpNum " + std::to_string(smpnum) + ", PatNum " + std::to_string(patnum);
    if (192 + ordnum > size || it[192 + ordnum - 1] != 255)
        return "order list not closed by 255";
    const size_t tables = 192 + ordnum;
    const size_t headers = tables + 4 * (smpnum + patnum);
    if (headers + 80 * smpnum > size)
        return "offset tables or sample headers past the end";

    for (size_t i = 0; i < smpnum; i++) {
        size_t at = headers + 80 * i;
        if (u32(tables + 4 * i) != at)
            return fault("sample header offset " + std::to_string(i), tables + 4 * i);
        if (it[at] != 'I' || it[at + 1] != 'M' || it[at + 2] != 'P' || it[at + 3] != 'S')
            return fault("sample header without IMPS", at);
    }

    size_t pos = headers + 80 * smpnum;
    for (size_t p = 0; p < patnum; p++) {
        size_t entry = u32(tables + 4 * (smpnum + p));
        if (pos + 8 > size)
            return fault("pattern header " + std::to_string(p) + " past the end", pos);
        size_t length = u16(pos), rows = u16(pos + 2);
        if (entry != (length ? pos : 0))
            return fault("pattern offset " + std::to_string(p), tables + 4 * (smpnum + p));
        if (length > 32768 || pos + 8 + length > size)
            return fault("pattern " + std::to_string(p) + " data past its area or the file", pos);
        if (length && (rows < 1 || rows > 256))
            return fault("pattern " + std::to_string(p) + " Rows " + std::to_string(rows), pos);
        const uint8_t* d = &it[pos + 8];
        size_t i = 0, ends = 0;
        while (i < length) {
            uint8_t channel = d[i++];
            if (channel == 0) {
                ends++;
                continue;
            }
            if (!(channel & 0x80) || (channel & 0x7F) < 1 || (channel & 0x7F) > 64 || i >= length)
                return fault("pattern " + std::to_string(p) + " bad channel byte", pos + 8 + i - 1);
            uint8_t mask = d[i++];
            if (mask & 0xF0)
                return fault("pattern " + std::to_string(p) + " bad mask", pos + 8 + i - 1);
            size_t fields = (mask & 1) + ((mask >> 1) & 1) + ((mask >> 2) & 1) + ((mask & 8) ? 2 : 0);
            if (fields > length - i)
                return fault("pattern " + std::to_string(p) + " entry cut by the end of its data", pos + 8 + i);
            if ((mask & 4) && d[i + (mask & 1) + ((mask >> 1) & 1)] > 64)
                return fault("pattern " + std::to_string(p) + " volume above 64", pos + 8 + i);
            i += fields;
        }
        if (ends > rows)
            return fault("pattern " + std::to_string(p) + " has more end-of-row bytes than Rows", pos);
        pos += 8 + length;
    }

    for (size_t i = 0; i < smpnum; i++) {
        size_t at = headers + 80 * i;
        size_t pointer = u32(at + 72);
        size_t next = i + 1 < smpnum ? u32(headers + 80 * (i + 1) + 72) : size;
        if (pointer != pos || next < pointer || next > size)
            return fault("SamplePointer " + std::to_string(i), at + 72);
        size_t bytes = next - pointer;
        uint8_t flg = it[at + 18];
        if (bytes > 1048576 || u32(at + 48) != ((flg & 2) ? bytes / 2 : bytes) || ((flg & 1) != 0) != (bytes != 0))
            return fault("sample " + std::to_string(i) + " Length or flags disagree with its data", at);
        pos = next;
    }
    if (pos != size)
        return fault("bytes after the last part", pos);
    return "";
}
