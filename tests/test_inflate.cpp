// The container inflater: the header is skipped, the stream inflated whole or reported as bad.
#include "kzm.h"
#include "kzbuild.h"
#include "kztest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <zlib.h>

namespace {

// Bytes that deflate does real work on but cannot shrink to nothing.
kzbytes noise(size_t n, uint32_t seed)
{
    kzbytes b(n);
    for (size_t i = 0; i < n; i++) {
        seed = seed * 1103515245u + 12345u;
        b[i] = (uint8_t)((seed >> 16) % 7 + 'a');
    }
    return b;
}

int decode(const kzbytes& file, kzbytes* work)
{
    std::string in = kzt_file(".kzm");
    std::string out = kzt_file(".emx");
    kzb_writefile(in, file);
    remove(out.c_str());
    int ret = decodekzm(in.c_str(), out.c_str());
    *work = kzb_readfile(out);
    remove(in.c_str());
    remove(out.c_str());
    return ret;
}

kzbytes cat(kzbytes a, const kzbytes& b)
{
    kzb_append(a, b);
    return a;
}

}  // namespace

TEST(Inflater, ResultsAndWorkFile)
{
    const kzbytes module = noise(50000, 1);
    const kzbytes container = kzb_container(module);
    kzbytes badheader = container;
    badheader[24] = 0x79;   // zlib method nibble must be 8
    // A level-0 stream of 16,373 bytes is 16,384 bytes long: 2 header, 5 block header, data, 4 Adler-32.
    const kzbytes stored = noise(16373, 2);
    const kzbytes onblock = kzb_container(stored, 0);
    ASSERT_EQ(onblock.size(), 24u + 16384u);

    struct {
        const char* what;
        kzbytes file;
        int result;
        kzbytes work;
    } cases[] = {
        {"whole stream", container, Z_OK, module},
        {"exact multiple of 16384", kzb_container(noise(3 * 16384, 3)), Z_OK, noise(3 * 16384, 3)},
        {"empty module", kzb_container({}), Z_OK, {}},
        {"header bytes are never read", kzb_container(module, 6, 0xA5), Z_OK, module},
        {"bytes after the stream in its last block", cat(container, kzbytes(100, 0x55)), Z_OK, module},
        {"stream ends on a block boundary, more bytes follow", cat(onblock, noise(5000, 4)), Z_OK, stored},
        {"24-byte file", kzbytes(24, 0), Z_DATA_ERROR, {}},
        {"shorter than the header", kzbytes(7, 0x78), Z_DATA_ERROR, {}},
        {"bad zlib header", badheader, Z_DATA_ERROR, {}},
    };
    for (auto& c : cases) {
        kzbytes work;
        EXPECT_EQ(decode(c.file, &work), c.result) << c.what;
        EXPECT_EQ(work, c.work) << c.what;
    }
}

TEST(Inflater, CutOrCorruptStreamKeepsWhatWasInflated)
{
    const kzbytes module = noise(200000, 5);
    const kzbytes container = kzb_container(module);
    std::vector<kzbytes> bad;
    for (size_t keep : {size_t(24 + 1), size_t(24 + 2), container.size() / 2, container.size() - 4,
                        container.size() - 1})
        bad.push_back(kzbytes(container.begin(), container.begin() + keep));
    bad.push_back(container);
    bad.back().back() ^= 0x80;   // wrong Adler-32
    for (auto& file : bad) {
        kzbytes work;
        EXPECT_EQ(decode(file, &work), Z_DATA_ERROR) << file.size();
        ASSERT_LE(work.size(), module.size()) << file.size();
        EXPECT_TRUE(std::equal(work.begin(), work.end(), module.begin())) << file.size();
    }
}

TEST(Inflater, PresetDictionaryIsADataError)
{
    const char dict[] = "dictionary";
    const kzbytes module = noise(1000, 6);
    z_stream s = {};
    ASSERT_EQ(deflateInit(&s, 6), Z_OK);
    ASSERT_EQ(deflateSetDictionary(&s, (const Bytef*)dict, sizeof dict), Z_OK);
    kzbytes file(24 + deflateBound(&s, module.size()));
    s.next_in = (Bytef*)module.data();
    s.avail_in = (uInt)module.size();
    s.next_out = &file[24];
    s.avail_out = (uInt)(file.size() - 24);
    ASSERT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
    file.resize(24 + s.total_out);
    deflateEnd(&s);
    kzbytes work;
    EXPECT_EQ(decode(file, &work), Z_DATA_ERROR);
}

TEST(Inflater, FilesThatCannotBeOpened)
{
    std::string in = kzt_file(".kzm");
    std::string out = kzt_file(".emx");
    EXPECT_EQ(decodekzm(in.c_str(), out.c_str()), Z_DATA_ERROR);
    EXPECT_EQ(fopen(out.c_str(), "rb"), nullptr);   // the work file is not created

    kzb_writefile(in, kzb_container({1, 2, 3}));
    EXPECT_EQ(decodekzm(in.c_str(), "no/such/folder/temp.emx"), Z_DATA_ERROR);
    remove(in.c_str());

    // A folder opens on some systems and not on others; either way it is a read error.
    std::string dir = kzt_file(".dir.kzm");
    mkdir(dir.c_str(), 0755);
    EXPECT_EQ(decodekzm(dir.c_str(), out.c_str()), Z_ERRNO);
    rmdir(dir.c_str());
    remove(out.c_str());
}

TEST(Inflater, DeflateRoundTrip)
{
    const kzbytes module = noise(3 * 16384 + 17, 7);
    const std::string plain = kzt_file(".bin"), packed = kzt_file(".z"), unpacked = kzt_file(".out");
    for (int level : {0, 1, 9}) {
        kzb_writefile(plain, module);
        FILE* src = fopen(plain.c_str(), "rb");
        FILE* z = fopen(packed.c_str(), "wb");
        ASSERT_EQ(def(src, z, level), Z_OK);
        fclose(src);
        fclose(z);
        z = fopen(packed.c_str(), "rb");
        FILE* back = fopen(unpacked.c_str(), "wb");
        EXPECT_EQ(inf(z, back), Z_OK) << level;
        fclose(z);
        fclose(back);
        EXPECT_EQ(kzb_readfile(unpacked), module) << level;
    }
    remove(plain.c_str());
    remove(packed.c_str());
    remove(unpacked.c_str());
}
