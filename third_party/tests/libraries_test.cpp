// The third-party libraries as the system uses them: each one works in the
// Windows build, not only links.
#include <gtest/gtest.h>
#include <gumbo.h>
#include <json/json.h>
#include <opus.h>
#include <png.h>
#include <sqlite3.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

TEST(Zlib, Level8RoundTrip) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "linha de registro " + std::to_string(i % 37) + "\n";
  uLongf packed_len = compressBound(text.size());
  std::vector<Bytef> packed(packed_len);
  ASSERT_EQ(Z_OK, compress2(packed.data(), &packed_len, reinterpret_cast<const Bytef*>(text.data()),
                            text.size(), 8));
  EXPECT_LT(packed_len, text.size() / 4);
  std::vector<char> back(text.size());
  uLongf back_len = back.size();
  ASSERT_EQ(Z_OK, uncompress(reinterpret_cast<Bytef*>(back.data()), &back_len, packed.data(), packed_len));
  EXPECT_EQ(text, std::string(back.data(), back_len));
  // A truncated stream is reported, not silently accepted.
  back_len = back.size();
  EXPECT_NE(Z_OK, uncompress(reinterpret_cast<Bytef*>(back.data()), &back_len, packed.data(), packed_len / 2));
}

TEST(Sqlite, PreparedStatementsAndChanges) {
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(":memory:", &db));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "CREATE TABLE c(name TEXT, n INT)", nullptr, nullptr, nullptr));
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, "INSERT INTO c VALUES(?, ?)", -1, &st, nullptr));
  for (int i = 0; i < 3; ++i) {
    sqlite3_bind_text(st, 1, "Jo\xC3\xA3o", -1, SQLITE_STATIC);
    sqlite3_bind_int(st, 2, i);
    ASSERT_EQ(SQLITE_DONE, sqlite3_step(st));
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  EXPECT_EQ(3, sqlite3_last_insert_rowid(db));
  ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, "SELECT SUM(n), MAX(name) FROM c", -1, &st, nullptr));
  ASSERT_EQ(SQLITE_ROW, sqlite3_step(st));
  EXPECT_EQ(3, sqlite3_column_int(st, 0));
  EXPECT_STREQ("Jo\xC3\xA3o", reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
  sqlite3_finalize(st);
  EXPECT_NE(SQLITE_OK, sqlite3_exec(db, "SELECT * FROM missing", nullptr, nullptr, nullptr));
  sqlite3_close(db);
}

namespace {
struct PngSink {
  std::vector<unsigned char> bytes;
  size_t read_at = 0;
};
void PngWrite(png_structp png, png_bytep data, png_size_t n) {
  auto* s = static_cast<PngSink*>(png_get_io_ptr(png));
  s->bytes.insert(s->bytes.end(), data, data + n);
}
void PngRead(png_structp png, png_bytep data, png_size_t n) {
  auto* s = static_cast<PngSink*>(png_get_io_ptr(png));
  if (s->read_at + n > s->bytes.size()) png_error(png, "short");
  memcpy(data, s->bytes.data() + s->read_at, n);
  s->read_at += n;
}
}  // namespace

TEST(Png, WritesAndReadsRgbaImage) {
  const int w = 5, h = 3;
  std::vector<unsigned char> pixels(w * h * 4);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 7);
  PngSink sink;
  {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    ASSERT_EQ(0, setjmp(png_jmpbuf(png)));
    png_set_write_fn(png, &sink, PngWrite, nullptr);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) png_write_row(png, pixels.data() + y * w * 4);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  ASSERT_EQ(0, setjmp(png_jmpbuf(png)));
  png_set_read_fn(png, &sink, PngRead);
  png_read_info(png, info);
  EXPECT_EQ(static_cast<png_uint_32>(w), png_get_image_width(png, info));
  EXPECT_EQ(PNG_COLOR_TYPE_RGBA, png_get_color_type(png, info));
  std::vector<unsigned char> back(w * h * 4);
  for (int y = 0; y < h; ++y) png_read_row(png, back.data() + y * w * 4, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  EXPECT_EQ(pixels, back);
}

TEST(JsonCpp, ParsesCommandText) {
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  const std::string text = R"({"command":"show","args":[1,"dois"],"flag":true})";
  Json::Value root;
  std::string errors;
  ASSERT_TRUE(reader->parse(text.data(), text.data() + text.size(), &root, &errors)) << errors;
  EXPECT_EQ("show", root["command"].asString());
  EXPECT_EQ("dois", root["args"][1].asString());
  EXPECT_TRUE(root["flag"].asBool());
  const std::string broken = R"({"command": )";
  EXPECT_FALSE(reader->parse(broken.data(), broken.data() + broken.size(), &root, &errors));
}

TEST(Opus, EncodesAndDecodesSpeechFrames) {
  int err = 0;
  OpusEncoder* enc = opus_encoder_create(48000, 1, OPUS_APPLICATION_VOIP, &err);
  ASSERT_EQ(OPUS_OK, err);
  OpusDecoder* dec = opus_decoder_create(48000, 1, &err);
  ASSERT_EQ(OPUS_OK, err);
  const int frame = 960;  // 20 ms
  std::vector<opus_int16> pcm(frame), out(frame);
  double in_energy = 0, out_energy = 0;
  for (int f = 0; f < 10; ++f) {
    for (int i = 0; i < frame; ++i) {
      pcm[i] = static_cast<opus_int16>(8000 * std::sin(2 * M_PI * 440 * (f * frame + i) / 48000.0));
      if (f >= 5) in_energy += double(pcm[i]) * pcm[i];
    }
    unsigned char packet[400];
    int n = opus_encode(enc, pcm.data(), frame, packet, sizeof(packet));
    ASSERT_GT(n, 0);
    ASSERT_EQ(frame, opus_decode(dec, packet, n, out.data(), frame, 0));
    if (f >= 5)
      for (int i = 0; i < frame; ++i) out_energy += double(out[i]) * out[i];
  }
  // The decoded tone carries the same energy within a few dB.
  EXPECT_GT(out_energy, in_energy * 0.5);
  EXPECT_LT(out_energy, in_energy * 2.0);
  opus_encoder_destroy(enc);
  opus_decoder_destroy(dec);
}

TEST(Gumbo, BuildsTreeFromMalformedMarkup) {
  // Unclosed elements, a stray end tag and a bare ampersand: the HTML5 tree
  // construction still gives html/head/body with the paragraph in body.
  const char* text = "<title>T&amp;1</title><p id=a>one<b>two</p></i>x & y";
  GumboOutput* out = gumbo_parse(text);
  ASSERT_NE(nullptr, out);
  GumboNode* html = out->root;
  ASSERT_EQ(GUMBO_TAG_HTML, html->v.element.tag);
  ASSERT_EQ(2u, html->v.element.children.length);
  GumboNode* head = static_cast<GumboNode*>(html->v.element.children.data[0]);
  GumboNode* body = static_cast<GumboNode*>(html->v.element.children.data[1]);
  EXPECT_EQ(GUMBO_TAG_HEAD, head->v.element.tag);
  ASSERT_EQ(GUMBO_TAG_BODY, body->v.element.tag);
  GumboNode* title = static_cast<GumboNode*>(head->v.element.children.data[0]);
  GumboNode* title_text = static_cast<GumboNode*>(title->v.element.children.data[0]);
  EXPECT_STREQ("T&1", title_text->v.text.text);
  GumboNode* p = static_cast<GumboNode*>(body->v.element.children.data[0]);
  ASSERT_EQ(GUMBO_TAG_P, p->v.element.tag);
  GumboAttribute* id = gumbo_get_attribute(&p->v.element.attributes, "id");
  ASSERT_NE(nullptr, id);
  EXPECT_STREQ("a", id->value);
  gumbo_destroy_output(&kGumboDefaultOptions, out);
}
