// The device's resources: textures with their level surfaces (locked
// through a CPU copy that is uploaded on unlock), render targets, depth
// surfaces, plain surfaces in system memory, vertex and index buffers, the
// shader and declaration objects (the copies between them: d3d9_copies.cpp).
#include <algorithm>
#include <cstring>

#include "platform/d3d9/d3d9_internal.h"

namespace vox_d3d9 {

namespace {

uint64_t g_next_serial = 1;

// Checks the framing of Direct3D shader byte code: the version token of the
// kind (0xFFFE vertex, 0xFFFF pixel), major version 2 or 3, then comments
// and instructions up to the end token. Returns the token count, end
// included, or 0.
size_t CodeLength(const DWORD* code, DWORD kind) {
  if (!code || (code[0] >> 16) != kind) return 0;
  DWORD major = (code[0] >> 8) & 0xFF;
  if (major < 2 || major > 3) return 0;
  constexpr size_t kLimit = 1u << 20;
  size_t i = 1;
  while (i < kLimit) {
    DWORD token = code[i];
    if (token == 0x0000FFFFu) return i + 1;
    if ((token & 0xFFFF) == 0xFFFE) i += 1 + ((token >> 16) & 0x7FFF);  // comment
    else i += 1 + ((token >> 24) & 0xF);                               // instruction and its operands
  }
  return 0;
}

// A shader object of byte code of the kind (as CodeLength takes it).
template <class Interface>
HRESULT CreateShader(Device* device, const DWORD* code, DWORD kind, Interface** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (Fails(D3D9_FAIL_SHADER)) return E_FAIL;
  size_t n = CodeLength(code, kind);
  if (!n) return D3DERR_INVALIDCALL;
  *out = new CodeResource<Interface>(device, std::vector<DWORD>(code, code + n));
  return D3D_OK;
}

}  // namespace

bool RectInside(const RECT& r, UINT width, UINT height) {
  return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && (UINT)r.right <= width &&
         (UINT)r.bottom <= height;
}

std::vector<uint8_t> RowsInUnits(const FormatInfo* f, const uint8_t* memory, uint32_t pitch, UINT height, int top,
                                 int rows, int width, const ChannelUnits& u) {
  std::vector<uint8_t> out((size_t)width * rows * 4);
  static const int kChannel[4] = {2, 1, 0, 3};  // B, G, R, A in the units' R, G, B, A order
  for (int y = 0; y < rows; y++) {
    uint8_t* row = &out[(size_t)y * width * 4];
    DecodeRowToBGRA(f, memory, pitch, height, (UINT)(top + y), row, width);
    for (int x = 0; x < width * 4; x++) row[x] = InUnits(row[x], u.step[kChannel[x & 3]]);
  }
  return out;
}

// ---- surfaces ------------------------------------------------------------------------------------

Surface::Surface(Device* device, Kind kind, const D3DSURFACE_DESC& desc, Texture* container, UINT level,
                 bool lockable)
    : serial(g_next_serial++),
      device_(device),
      kind_(kind),
      desc_(desc),
      format_(FindFormat(desc.Format)),
      container_(container),
      level_(level),
      lockable_(lockable) {
  if (format_ && !format_->depth) {
    pitch_ = FormatPitch(format_, desc.Width);
    bool cpu_copy = kind == Kind::kPlain || (kind == Kind::kTextureLevel && !(desc.Usage & D3DUSAGE_RENDERTARGET));
    if (cpu_copy) memory_.assign((size_t)pitch_ * FormatRows(format_, desc.Height), 0);
  }
  if (kind == Kind::kPlain || kind == Kind::kRenderTarget || kind == Kind::kDepthStencil) device_->AddRef();
}

Surface::~Surface() {
  ReleaseGL();
  if (kind_ == Kind::kPlain || kind_ == Kind::kRenderTarget || kind_ == Kind::kDepthStencil) {
    device_->ForgetSurface(this);
    if ((own_texture || renderbuffer_) && device_->MakeCurrent()) {
      if (own_texture) gl.DeleteTextures(1, &own_texture);
      if (renderbuffer_) gl.DeleteRenderbuffers(1, &renderbuffer_);
    }
    own_texture = 0;
    renderbuffer_ = 0;
    device_->Release();
  }
}

void Surface::ReleaseGL() {
  if (framebuffer_ && device_->MakeCurrent()) gl.DeleteFramebuffers(1, &framebuffer_);
  framebuffer_ = 0;
}

bool Surface::CreateOwnTexture() {
  gl.GenTextures(1, &own_texture);
  gl.ActiveTexture(kScratchUnit);
  gl.BindTexture(GL_TEXTURE_2D, own_texture);
  gl.TexImage2D(GL_TEXTURE_2D, 0, (GLint)TargetInternalFormat(format_), (GLsizei)desc_.Width, (GLsizei)desc_.Height,
                0, format_->gl_format, format_->gl_type, nullptr);
  gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  return gl.GetError() == GL_NO_ERROR && Framebuffer() != 0;
}

uint32_t Surface::AddRef() {
  if (container_) return container_->AddRef();
  if (kind_ == Kind::kBackBuffer) return device_->AddRef();
  return ComObject::AddRef();
}

uint32_t Surface::Release() {
  if (container_) return container_->Release();
  if (kind_ == Kind::kBackBuffer) return device_->Release();
  return ComObject::Release();
}

HRESULT HandOutDevice(Device* device, IDirect3DDevice9** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = device;
  device->AddRef();
  return D3D_OK;
}

HRESULT Surface::GetDevice(IDirect3DDevice9** device) { return HandOutDevice(device_, device); }

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
  if (!desc) return D3DERR_INVALIDCALL;
  *desc = desc_;
  return D3D_OK;
}

GLuint Surface::gl_texture() const { return container_ ? container_->gl_texture() : own_texture; }

bool Surface::IsRenderable() const {
  return kind_ == Kind::kRenderTarget || kind_ == Kind::kBackBuffer ||
         (kind_ == Kind::kTextureLevel && (desc_.Usage & D3DUSAGE_RENDERTARGET));
}

GLuint Surface::Framebuffer() {
  if (framebuffer_ || !gl_texture()) return framebuffer_;
  gl.GenFramebuffers(1, &framebuffer_);
  gl.BindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, gl_texture(), (GLint)level_);
  if (gl.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    gl.DeleteFramebuffers(1, &framebuffer_);
    framebuffer_ = 0;
  }
  return framebuffer_;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* out, const RECT* rect, DWORD flags) {
  if (!out || locked || !format_) return D3DERR_INVALIDCALL;
  bool readable_target = (kind_ == Kind::kBackBuffer || kind_ == Kind::kRenderTarget) && lockable_;
  if (memory_.empty() && !readable_target) return D3DERR_INVALIDCALL;
  RECT r = rect ? *rect : RECT{0, 0, (LONG)desc_.Width, (LONG)desc_.Height};
  if (!RectInside(r, desc_.Width, desc_.Height)) return D3DERR_INVALIDCALL;
  if (format_->block_bytes && ((r.left | r.top) & 3)) return D3DERR_INVALIDCALL;
  // The planes of a planar surface are locked whole.
  if (format_->planar && (r.left || r.top || (UINT)r.right != desc_.Width || (UINT)r.bottom != desc_.Height))
    return D3DERR_INVALIDCALL;
  if (readable_target) {
    // The picture is read back for the length of the lock.
    if (!device_->MakeCurrent() || !Framebuffer()) return D3DERR_INVALIDCALL;
    memory_.assign((size_t)pitch_ * desc_.Height, 0);
    device_->ReadTarget(this, memory_.data(), pitch_);
  }
  size_t row = format_->block_bytes ? (size_t)r.top / 4 : (size_t)r.top;
  size_t column = format_->block_bytes ? (size_t)r.left / 4 * format_->block_bytes : (size_t)r.left * format_->bytes;
  out->Pitch = (int32_t)pitch_;
  out->pBits = memory_.data() + row * pitch_ + column;
  locked = true;
  lock_rect_ = r;
  lock_flags_ = flags;
  return D3D_OK;
}

HRESULT Surface::UnlockRect() {
  if (!locked) return D3DERR_INVALIDCALL;
  locked = false;
  if (kind_ != Kind::kPlain && !(lock_flags_ & D3DLOCK_READONLY)) Upload(&lock_rect_);
  if (kind_ == Kind::kBackBuffer || kind_ == Kind::kRenderTarget) std::vector<uint8_t>().swap(memory_);
  return D3D_OK;
}

void Surface::Upload(const RECT* rect) {
  GLuint texture = gl_texture();
  if (!texture || !format_ || memory_.empty() || !device_->MakeCurrent()) return;
  device_->WillWrite(this);
  RECT r = rect ? *rect : RECT{0, 0, (LONG)desc_.Width, (LONG)desc_.Height};
  gl.ActiveTexture(kScratchUnit);
  gl.BindTexture(GL_TEXTURE_2D, texture);
  if (format_->block_bytes) {
    // Compressed levels go up whole: their rows of blocks are contiguous.
    gl.CompressedTexSubImage2D(GL_TEXTURE_2D, (GLint)level_, 0, 0, (GLsizei)desc_.Width, (GLsizei)desc_.Height,
                               format_->internal_format, (GLsizei)memory_.size(), memory_.data());
    CountUpload(memory_.size());
    return;
  }
  PutRows(this, memory_.data(), pitch_, desc_.Height, r, POINT{r.left, r.top});
}

void PutRows(Surface* dest, const uint8_t* memory, uint32_t pitch, UINT height, const RECT& from, POINT at) {
  const FormatInfo* f = dest->format();
  int w = from.right - from.left, h = from.bottom - from.top;
  if (dest->IsRenderable() && IsNarrow(TargetUnits(dest))) {
    // A narrow wide target takes the pixels as 8-bit values in its units.
    std::vector<uint8_t> rows = RowsInUnits(f, memory, pitch, height, from.top, h, from.right, TargetUnits(dest));
    gl.PixelStorei(GL_UNPACK_ROW_LENGTH, from.right);
    gl.TexSubImage2D(GL_TEXTURE_2D, (GLint)dest->level(), at.x, at.y, w, h, GL_BGRA, GL_UNSIGNED_BYTE,
                     rows.data() + (size_t)from.left * 4);
    CountUpload((size_t)w * h * 4);
  } else {
    gl.PixelStorei(GL_UNPACK_ROW_LENGTH, (GLint)(pitch / f->bytes));
    gl.TexSubImage2D(GL_TEXTURE_2D, (GLint)dest->level(), at.x, at.y, w, h, f->gl_format, f->gl_type,
                     memory + (size_t)from.top * pitch + (size_t)from.left * f->bytes);
    CountUpload((size_t)w * h * f->bytes);
  }
  gl.PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

// ---- textures ------------------------------------------------------------------------------------

Texture::Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, const FormatInfo* format,
                 D3DPOOL pool)
    : device_(device), width_(width), height_(height), level_count_(levels), usage_(usage), format_(format),
      pool_(pool) {
  device_->AddRef();
}

Texture::~Texture() {
  device_->ForgetTexture(this);
  surfaces_.clear();
  ReleaseGL();
  device_->Release();
}

void Texture::ReleaseGL() {
  if (texture_ && device_->MakeCurrent()) gl.DeleteTextures(1, &texture_);
  texture_ = 0;
}

bool Texture::Create() {
  UINT levels = level_count_;
  if (levels == 0) {
    levels = 1;
    for (UINT w = width_, h = height_; w > 1 || h > 1; w = std::max(1u, w / 2), h = std::max(1u, h / 2)) levels++;
  }
  if (!device_->MakeCurrent()) return false;
  ClearGLErrors();
  gl.GenTextures(1, &texture_);
  gl.ActiveTexture(kScratchUnit);
  gl.BindTexture(GL_TEXTURE_2D, texture_);
  gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, (GLint)levels - 1);
  if (format_->alpha_one) gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
  if (format_->alpha_only) {
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_R, GL_ZERO);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_G, GL_ZERO);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_B, GL_ZERO);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_RED);
  }
  UINT w = width_, h = height_;
  for (UINT i = 0; i < levels; i++) {
    D3DSURFACE_DESC desc{format_->format, D3DRTYPE_SURFACE, usage_, pool_, D3DMULTISAMPLE_NONE, 0, w, h};
    surfaces_.emplace_back(new Surface(device_, Surface::Kind::kTextureLevel, desc, this, i, false));
    Surface* s = surfaces_.back().get();
    // Levels start as zero bytes, as their lock copies do.
    if (format_->block_bytes) {
      gl.CompressedTexImage2D(GL_TEXTURE_2D, (GLint)i, format_->internal_format, (GLsizei)w, (GLsizei)h, 0,
                              (GLsizei)(s->pitch() * FormatRows(format_, h)), s->memory());
    } else {
      // A level starts as the zero bytes of its lock copy; a render target has none.
      bool target = (usage_ & D3DUSAGE_RENDERTARGET) != 0;
      GLenum internal = target ? TargetInternalFormat(format_) : format_->internal_format;
      gl.TexImage2D(GL_TEXTURE_2D, (GLint)i, (GLint)internal, (GLsizei)w, (GLsizei)h, 0, format_->gl_format,
                    format_->gl_type, target ? nullptr : s->memory());
      if (!target) CountUpload((size_t)s->pitch() * h);
    }
    w = std::max(1u, w / 2);
    h = std::max(1u, h / 2);
  }
  return gl.GetError() == GL_NO_ERROR;
}

HRESULT Texture::GetDevice(IDirect3DDevice9** device) { return HandOutDevice(device_, device); }

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
  if (level >= surfaces_.size()) return D3DERR_INVALIDCALL;
  return surfaces_[level]->GetDesc(desc);
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
  if (level >= surfaces_.size() || !surface) return D3DERR_INVALIDCALL;
  *surface = surfaces_[level].get();
  AddRef();
  return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
  if (level >= surfaces_.size()) return D3DERR_INVALIDCALL;
  return surfaces_[level]->LockRect(locked, rect, flags);
}

HRESULT Texture::UnlockRect(UINT level) {
  if (level >= surfaces_.size()) return D3DERR_INVALIDCALL;
  return surfaces_[level]->UnlockRect();
}

// ---- buffers, shaders, declarations -----------------------------------------------------------

template <class Interface>
Resource<Interface>::Resource(Device* device) : device_(device) {
  device_->AddRef();
}

template <class Interface>
Resource<Interface>::~Resource() {
  device_->Release();
}

template <class Interface>
HRESULT Resource<Interface>::GetDevice(IDirect3DDevice9** device) {
  return HandOutDevice(device_, device);
}

template <class Interface>
HRESULT BufferResource<Interface>::Lock(UINT offset, UINT size, void** data, DWORD) {
  if (!data || locked || offset > bytes.size()) return D3DERR_INVALIDCALL;
  if (size == 0) size = (UINT)bytes.size() - offset;
  if (size > bytes.size() - offset) return D3DERR_INVALIDCALL;
  *data = bytes.data() + offset;
  locked = true;
  return D3D_OK;
}

template <class Interface>
HRESULT BufferResource<Interface>::Unlock() {
  if (!locked) return D3DERR_INVALIDCALL;
  locked = false;
  return D3D_OK;
}

template class Resource<IDirect3DVertexBuffer9>;
template class Resource<IDirect3DIndexBuffer9>;
template class Resource<IDirect3DVertexShader9>;
template class Resource<IDirect3DPixelShader9>;
template class Resource<IDirect3DVertexDeclaration9>;
template class BufferResource<IDirect3DVertexBuffer9>;
template class BufferResource<IDirect3DIndexBuffer9>;

// ---- creation ------------------------------------------------------------------------------------

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** out, HANDLE*) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  const FormatInfo* f = FindFormat(format);
  const GLCaps& caps = ProbeGLCaps();
  if (!f || !f->internal_format || f->depth || width == 0 || height == 0) return D3DERR_INVALIDCALL;
  if ((int)width > caps.max_texture_size || (int)height > caps.max_texture_size) return D3DERR_INVALIDCALL;
  if (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  if (std::find(caps.textures.begin(), caps.textures.end(), format) == caps.textures.end())
    return D3DERR_INVALIDCALL;
  if (usage & D3DUSAGE_RENDERTARGET) {
    if (pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if (std::find(caps.render_targets.begin(), caps.render_targets.end(), format) == caps.render_targets.end())
      return D3DERR_INVALIDCALL;
  }
  if (Fails(D3D9_FAIL_TEXTURE)) return D3DERR_OUTOFVIDEOMEMORY;
  Texture* t = new Texture(this, width, height, levels, usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC), f, pool);
  if (!t->Create()) {
    t->Release();
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  if (usage & D3DUSAGE_RENDERTARGET) ColorFill(t->level(0), nullptr, 0);
  *out = t;
  return D3D_OK;
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multisample,
                                   DWORD, BOOL lockable, IDirect3DSurface9** out, HANDLE*) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  const FormatInfo* f = FindFormat(format);
  const GLCaps& caps = ProbeGLCaps();
  if (!f || width == 0 || height == 0 || multisample != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
  if (std::find(caps.render_targets.begin(), caps.render_targets.end(), format) == caps.render_targets.end())
    return D3DERR_INVALIDCALL;
  if (Fails(D3D9_FAIL_RENDER_TARGET)) return D3DERR_OUTOFVIDEOMEMORY;
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;
  D3DSURFACE_DESC desc{format, D3DRTYPE_SURFACE, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, D3DMULTISAMPLE_NONE, 0,
                       width, height};
  Surface* s = new Surface(this, Surface::Kind::kRenderTarget, desc, nullptr, 0, lockable != FALSE);
  ClearGLErrors();
  if (!s->CreateOwnTexture()) {
    s->Release();
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  ColorFill(s, nullptr, 0);
  *out = s;
  return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** out, HANDLE*) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  const FormatInfo* f = FindFormat(format);
  if (!f || f->depth || width == 0 || height == 0 || pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  if ((f->yuv || f->planar) && (width & 1)) return D3DERR_INVALIDCALL;
  if (f->planar && (height & 1)) return D3DERR_INVALIDCALL;
  if (IsVideoFormat(f) && Script() && ScriptRefuses(Script()->refused_video_surfaces, 4, format))
    return D3DERR_NOTAVAILABLE;
  if (Fails(D3D9_FAIL_SYSTEM_SURFACE)) return D3DERR_OUTOFVIDEOMEMORY;
  D3DSURFACE_DESC desc{format, D3DRTYPE_SURFACE, 0, pool, D3DMULTISAMPLE_NONE, 0, width, height};
  *out = new Surface(this, Surface::Kind::kPlain, desc, nullptr, 0, true);
  return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multisample,
                                          DWORD, BOOL, IDirect3DSurface9** out, HANDLE*) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  const FormatInfo* f = FindFormat(format);
  if (!f || !f->depth || width == 0 || height == 0 || multisample != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
  if (Fails(D3D9_FAIL_DEPTH_SURFACE)) return D3DERR_OUTOFVIDEOMEMORY;
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;
  D3DSURFACE_DESC desc{format, D3DRTYPE_SURFACE, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, D3DMULTISAMPLE_NONE, 0,
                       width, height};
  Surface* s = new Surface(this, Surface::Kind::kDepthStencil, desc, nullptr, 0, false);
  ClearGLErrors();
  GLuint rb = 0;
  gl.GenRenderbuffers(1, &rb);
  gl.BindRenderbuffer(GL_RENDERBUFFER, rb);
  gl.RenderbufferStorage(GL_RENDERBUFFER, f->internal_format, (GLsizei)width, (GLsizei)height);
  s->set_renderbuffer(rb);
  if (gl.GetError() != GL_NO_ERROR) {
    s->Release();
    return D3DERR_OUTOFVIDEOMEMORY;
  }
  *out = s;
  return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD, DWORD, D3DPOOL, IDirect3DVertexBuffer9** out, HANDLE*) {
  if (!out || length == 0) return D3DERR_INVALIDCALL;
  *out = new BufferResource<IDirect3DVertexBuffer9>(this, length);
  return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD, D3DFORMAT format, D3DPOOL, IDirect3DIndexBuffer9** out,
                                  HANDLE*) {
  if (!out || length == 0 || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) return D3DERR_INVALIDCALL;
  *out = new BufferResource<IDirect3DIndexBuffer9>(this, length);
  return D3D_OK;
}

HRESULT Device::CreateVertexShader(const DWORD* code, IDirect3DVertexShader9** out) {
  return CreateShader(this, code, 0xFFFE, out);
}

HRESULT Device::CreatePixelShader(const DWORD* code, IDirect3DPixelShader9** out) {
  return CreateShader(this, code, 0xFFFF, out);
}

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** out) {
  if (!out || !elements) return D3DERR_INVALIDCALL;
  *out = nullptr;
  std::vector<D3DVERTEXELEMENT9> list;
  for (int i = 0;; i++) {
    if (i == 64) return D3DERR_INVALIDCALL;
    const D3DVERTEXELEMENT9& e = elements[i];
    if (e.Stream == 0xFF) break;
    if (e.Type >= D3DDECLTYPE_UNUSED || e.Stream >= 16) return D3DERR_INVALIDCALL;
    list.push_back(e);
  }
  *out = new Declaration(this, std::move(list));
  return D3D_OK;
}

}  // namespace vox_d3d9
