// Graph loading: image files and images in memory become graphs, with their
// "_a" alpha images; the transfer of decoded images into a graph's memory
// image; and the refill of every graph from its file.
#include <cstring>

#include "engine/core/file.h"
#include "engine/core/log.h"
#include "engine/graphics/graphics_internal.h"
#include "engine/image/image_load.h"

namespace {

void FreeImages(BASEIMAGE* image, BASEIMAGE* alpha) {
  if (image) DisposeBaseImage(image);
  if (alpha) DisposeBaseImage(alpha);
}

void MirrorBoth(BASEIMAGE* image, BASEIMAGE* alpha) {
  MirrorBaseImage(image);
  if (alpha) MirrorBaseImage(alpha);
}

// Decodes an image file in memory and its alpha image file (when given),
// mirrored when `mirror` is 1, and hands them to use(image, alpha or null);
// its result, or -1 when the files do not decode.
template <class Use>
int UseImagesFromMemory(const void* image_data, int size, const void* alpha_data, int alpha_size, int mirror,
                        Use use) {
  BASEIMAGE image{}, alpha{};
  int decoded = LoadImageAndAlphaImage(nullptr, image_data, size, 1, alpha_data, alpha_data ? alpha_size : 0,
                                       alpha_data ? 1 : 0, &image, &alpha, 0);
  if (decoded < 0) return -1;
  BASEIMAGE* alpha_ptr = decoded == 0 ? &alpha : nullptr;
  if (mirror == 1) MirrorBoth(&image, alpha_ptr);
  int result = use(&image, alpha_ptr);
  FreeImages(&image, alpha_ptr);
  return result;
}

// Runs write() on the images with their spare bits masked, mirrored for the
// time of it when both mirror flags are 1.
template <class Write>
int WriteImages(BASEIMAGE* image, BASEIMAGE* alpha, int mirror, int second_mirror, Write write) {
  FixSparePixelMask(&image->format);
  if (alpha) FixSparePixelMask(&alpha->format);
  bool flip = mirror == 1 && second_mirror == 1;
  if (flip) MirrorBoth(image, alpha);
  int result = write();
  if (flip) MirrorBoth(image, alpha);
  return result;
}

// The movie's frame hook: the current picture into the graph, when the movie
// has one the graph has not had yet. The graph's driver may take it its own
// way (the device from the movie's YUV surface); otherwise the movie's frame
// image is transferred.
void UpdateGraphFromMovie(MovieRecord* movie, intptr_t graph) {
  GraphRecord* record = GetGraphRecord(int(graph));
  if (!record || !record->image) return;
  if (ImageDriver(record->image).movie_frame(record, movie)) return;
  if (BASEIMAGE* frame = GetGraphMovieSource().movie_frame_image(movie))
    TransferBaseImageToGraph(frame, nullptr, nullptr, 0, 0, int(graph), 0);
}

int LoadMovieGraph(const char* path, int movie_option) {
  const GraphMovieSource& movies = GetGraphMovieSource();
  int width = 0, height = 0;
  int movie = movies.open_movie(path, &width, &height, movie_option);
  if (movie < 0) return WriteLogFormat("右記のグラフィックファイルのロードに失敗しました：%s \n", path);
  int kept_depth = g_draw.create_depth, kept_test = g_draw.create_alpha_test;
  int kept_target = g_draw.create_draw_target, kept_pool = g_draw.create_default_pool;
  g_draw.create_depth = g_screen.depth;
  g_draw.create_alpha_test = 0;
  g_draw.create_default_pool = 1;
  g_draw.create_draw_target = 1;
  // One texture per edge where the device allows it, from now on.
  SetTextureSplitting(0);
  int graph = AllocateGraphHandle();
  int made = CreateGraphImageData(graph, width, height, 0, 0, 0, 0, -1);
  g_draw.create_depth = kept_depth;
  g_draw.create_alpha_test = kept_test;
  g_draw.create_draw_target = kept_target;
  g_draw.create_default_pool = kept_pool;
  if (made < 0) {
    movies.close_movie(movie);
    return WriteLogFormat("右記のグラフィックファイルの格納用グラフィック領域の作成に失敗しました：%s", path);
  }
  GetGraphRecord(graph)->movie = movie;
  movies.set_movie_frame_hook(movie, UpdateGraphFromMovie, graph);
  return graph;
}

}  // namespace

int LoadGraphFromFile(const char* path, int flag) { return LoadGraphCore(path, flag ? 0 : 1, 0, 0); }

int LoadGraphCore(const char* path, int creation_flag, int mirror, int movie_option) {
  if (!g_screen.started || !path) return -1;
  WaitWhileInactive();
  BASEIMAGE image{}, alpha{};
  int decoded = LoadImageAndAlphaImage(path, nullptr, 0, 0, nullptr, 0, 0, &image, &alpha, 0);
  if (decoded >= 0) {
    BASEIMAGE* alpha_ptr = decoded == 0 ? &alpha : nullptr;
    if (mirror == 1) MirrorBoth(&image, alpha_ptr);
    int graph = CreateGraphFromImage(&image, alpha_ptr, creation_flag, mirror, 0);
    if (graph >= 0) StoreGraphFileName(graph, path, -1);
    FreeImages(&image, alpha_ptr);
    return graph;
  }
  intptr_t file = FsOpen(path, 0);
  if (file == 0 || file == -1) return WriteLogFormat("グラフィックファイル %s がありません", path);
  FsClose(file);
  return LoadMovieGraph(path, movie_option);
}

int LoadGraphFromMemory(const void* image_data, int size, const void* alpha_data, int alpha_size, int creation_flag,
                        int mirror) {
  if (!g_screen.started || !image_data || size <= 0) return -1;
  return UseImagesFromMemory(image_data, size, alpha_data, alpha_size, mirror, [&](BASEIMAGE* image, BASEIMAGE* alpha) {
    return CreateGraphFromImage(image, alpha, creation_flag, mirror, 0);
  });
}

int CreateGraphFromImage(BASEIMAGE* image, BASEIMAGE* alpha, int creation_flag, int mirror, int second_mirror) {
  if (!image) return -1;
  return WriteImages(image, alpha, mirror, second_mirror, [&] {
    int graph = CreateGraphForImage(image, alpha, creation_flag);
    if (graph >= 0 && TransferImageToGraphAt(nullptr, image, alpha, 0, 0, graph, 0) < 0) {
      ReleaseGraph(graph);
      graph = -1;
    }
    return graph;
  });
}

int ReloadGraphFromImage(BASEIMAGE* image, BASEIMAGE* alpha, int graph, int ignored, int mirror, int second_mirror) {
  (void)ignored;
  if (!image) return -1;
  return WriteImages(image, alpha, mirror, second_mirror, [&] {
    GraphRecord* record = GetGraphRecord(graph);
    if (!record || record->width != image->width || record->height != image->height) return -1;
    if (alpha && (alpha->width != image->width || alpha->height != image->height)) return -1;
    return TransferBaseImageToGraph(image, alpha, nullptr, 0, 0, graph, 0) < 0 ? -1 : 0;
  });
}

int ReloadGraphFromMemory(const void* image_data, int size, int graph, const void* alpha_data, int alpha_size,
                          int ignored, int mirror) {
  if (!image_data || size <= 0) return -1;
  return UseImagesFromMemory(image_data, size, alpha_data, alpha_size, mirror, [&](BASEIMAGE* image, BASEIMAGE* alpha) {
    return ReloadGraphFromImage(image, alpha, graph, ignored, mirror, 0);
  });
}

int TransferImageToGraph(const char* reload_path, BASEIMAGE* image, BASEIMAGE* alpha, const int32_t* rect,
                         int dst_x, int dst_y, int graph, uint32_t load_option) {
  GraphRecord* record = GetGraphRecord(graph);
  if (!g_screen.started || !record || !image) return -1;
  StoreGraphFileName(graph, reload_path, -1);
  record = GetGraphRecord(graph);
  record->source_x = rect ? rect[0] - dst_x : 0;
  record->source_y = rect ? rect[1] - dst_y : 0;
  record->load_option = load_option;
  return TransferBaseImageToGraph(image, alpha, rect, dst_x, dst_y, graph, 0);
}

int TransferImageToGraphAt(const char* reload_path, BASEIMAGE* image, BASEIMAGE* alpha, int x, int y, int graph,
                           uint32_t load_option) {
  GraphRecord* record = GetGraphRecord(graph);
  if (!record) return -1;
  int32_t rect[4] = {x, y, x + record->width, y + record->height};
  return TransferImageToGraph(reload_path, image, alpha, rect, 0, 0, graph, load_option);
}

int TransferBaseImageToGraph(BASEIMAGE* image, BASEIMAGE* alpha, const int32_t* src_rect, int dst_x, int dst_y,
                             int graph, int update) {
  GraphRecord* record = GetGraphRecord(graph);
  if (!record || !record->image || !image) return -1;
  int32_t r[4] = {0, 0, image->width, image->height};
  if (src_rect) std::memcpy(r, src_rect, sizeof r);
  if (r[0] >= r[2] || r[1] >= r[3]) return 0;
  GraphImageData* data = record->image;
  // Cut the rectangle to the image and to the destination: with update set
  // the destination counts in the whole image, else in the graph.
  int area_x = update ? 0 : record->x, area_y = update ? 0 : record->y;
  int area_w = update ? data->width : record->width, area_h = update ? data->height : record->height;
  if (r[0] < 0) dst_x -= r[0], r[0] = 0;
  if (r[1] < 0) dst_y -= r[1], r[1] = 0;
  if (r[2] > image->width) r[2] = image->width;
  if (r[3] > image->height) r[3] = image->height;
  if (dst_x < 0) r[0] -= dst_x, dst_x = 0;
  if (dst_y < 0) r[1] -= dst_y, dst_y = 0;
  if (r[2] - r[0] > area_w - dst_x) r[2] = r[0] + area_w - dst_x;
  if (r[3] - r[1] > area_h - dst_y) r[3] = r[1] + area_h - dst_y;
  if (r[0] >= r[2] || r[1] >= r[3]) return -1;
  return ImageDriver(data).transfer(data, image, alpha, r, area_x + dst_x, area_y + dst_y);
}

int RestoreAllGraphs() {
  WriteLogText("グラフィックを復帰します\n");
  if (!g_graph_table) return 0;
  BASEIMAGE image{}, alpha{};
  int have = -1;  // result of the last load: -1 none, 0 with alpha, 1 without
  const char* last_path = nullptr;
  uint32_t last_option = 0;
  ForEachGraph([&](int graph, GraphRecord& record) {
    if (!record.reload_name) return;
    const char* path = record.reload_name->path;
    if (!(have >= 0 && last_path && std::strcmp(last_path, path) == 0 && last_option == record.load_option)) {
      if (have >= 0) FreeImages(&image, have == 0 ? &alpha : nullptr);
      have = LoadImageAndAlphaImage(path, nullptr, 0, 0, nullptr, 0, 0, &image, &alpha, 0);
      last_path = have >= 0 ? path : nullptr;
      last_option = record.load_option;
      if (have < 0) return;
    }
    int32_t rect[4] = {record.source_x, record.source_y, record.source_x + record.width,
                       record.source_y + record.height};
    TransferBaseImageToGraph(&image, have == 0 ? &alpha : nullptr, rect, 0, 0, graph, 0);
  });
  if (have >= 0) FreeImages(&image, have == 0 ? &alpha : nullptr);
  return 0;
}
