// The OpenGL 3.3 core functions the Direct3D stand-in calls, loaded once
// through the window layer after the first context was made current.
#pragma once

#include <GL/glcorearb.h>

#ifndef GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
#define GL_COMPRESSED_RGBA_S3TC_DXT1_EXT 0x83F1
#define GL_COMPRESSED_RGBA_S3TC_DXT3_EXT 0x83F2
#define GL_COMPRESSED_RGBA_S3TC_DXT5_EXT 0x83F3
#endif
#ifndef GL_TEXTURE_MAX_ANISOTROPY_EXT
#define GL_TEXTURE_MAX_ANISOTROPY_EXT 0x84FE
#define GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT 0x84FF
#endif

namespace vox_d3d9 {

#define VOX_GL_FUNCTIONS(X)                                                                                   \
  X(PFNGLGETSTRINGPROC, GetString)                                                                            \
  X(PFNGLGETSTRINGIPROC, GetStringi)                                                                          \
  X(PFNGLGETINTEGERVPROC, GetIntegerv)                                                                        \
  X(PFNGLGETFLOATVPROC, GetFloatv)                                                                            \
  X(PFNGLGETERRORPROC, GetError)                                                                              \
  X(PFNGLENABLEPROC, Enable)                                                                                  \
  X(PFNGLDISABLEPROC, Disable)                                                                                \
  X(PFNGLVIEWPORTPROC, Viewport)                                                                              \
  X(PFNGLSCISSORPROC, Scissor)                                                                                \
  X(PFNGLCLEARCOLORPROC, ClearColor)                                                                          \
  X(PFNGLCLEARDEPTHPROC, ClearDepth)                                                                          \
  X(PFNGLCLEARPROC, Clear)                                                                                    \
  X(PFNGLCOLORMASKPROC, ColorMask)                                                                            \
  X(PFNGLDEPTHMASKPROC, DepthMask)                                                                            \
  X(PFNGLDEPTHFUNCPROC, DepthFunc)                                                                            \
  X(PFNGLDEPTHRANGEPROC, DepthRange)                                                                          \
  X(PFNGLBLENDFUNCPROC, BlendFunc)                                                                            \
  X(PFNGLBLENDFUNCSEPARATEPROC, BlendFuncSeparate)                                                            \
  X(PFNGLBLENDEQUATIONPROC, BlendEquation)                                                                    \
  X(PFNGLCULLFACEPROC, CullFace)                                                                              \
  X(PFNGLFRONTFACEPROC, FrontFace)                                                                            \
  X(PFNGLPOLYGONOFFSETPROC, PolygonOffset)                                                                    \
  X(PFNGLPIXELSTOREIPROC, PixelStorei)                                                                        \
  X(PFNGLREADPIXELSPROC, ReadPixels)                                                                          \
  X(PFNGLREADBUFFERPROC, ReadBuffer)                                                                          \
  X(PFNGLDRAWBUFFERPROC, DrawBuffer)                                                                          \
  X(PFNGLFINISHPROC, Finish)                                                                                  \
  X(PFNGLGENTEXTURESPROC, GenTextures)                                                                        \
  X(PFNGLDELETETEXTURESPROC, DeleteTextures)                                                                  \
  X(PFNGLBINDTEXTUREPROC, BindTexture)                                                                        \
  X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                                                                    \
  X(PFNGLTEXIMAGE2DPROC, TexImage2D)                                                                          \
  X(PFNGLTEXSUBIMAGE2DPROC, TexSubImage2D)                                                                    \
  X(PFNGLCOMPRESSEDTEXIMAGE2DPROC, CompressedTexImage2D)                                                      \
  X(PFNGLCOMPRESSEDTEXSUBIMAGE2DPROC, CompressedTexSubImage2D)                                                \
  X(PFNGLTEXPARAMETERIPROC, TexParameteri)                                                                    \
  X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                                                                \
  X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)                                                          \
  X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                                                                \
  X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D)                                                      \
  X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer)                                                \
  X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)                                                  \
  X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer)                                                                \
  X(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers)                                                              \
  X(PFNGLDELETERENDERBUFFERSPROC, DeleteRenderbuffers)                                                        \
  X(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer)                                                              \
  X(PFNGLRENDERBUFFERSTORAGEPROC, RenderbufferStorage)                                                        \
  X(PFNGLGENBUFFERSPROC, GenBuffers)                                                                          \
  X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                                                                    \
  X(PFNGLBINDBUFFERPROC, BindBuffer)                                                                          \
  X(PFNGLBUFFERDATAPROC, BufferData)                                                                          \
  X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays)                                                                \
  X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays)                                                          \
  X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                                                                \
  X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray)                                                \
  X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, DisableVertexAttribArray)                                              \
  X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)                                                        \
  X(PFNGLVERTEXATTRIB4FPROC, VertexAttrib4f)                                                                  \
  X(PFNGLCREATESHADERPROC, CreateShader)                                                                      \
  X(PFNGLSHADERSOURCEPROC, ShaderSource)                                                                      \
  X(PFNGLCOMPILESHADERPROC, CompileShader)                                                                    \
  X(PFNGLGETSHADERIVPROC, GetShaderiv)                                                                        \
  X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)                                                              \
  X(PFNGLDELETESHADERPROC, DeleteShader)                                                                      \
  X(PFNGLCREATEPROGRAMPROC, CreateProgram)                                                                    \
  X(PFNGLATTACHSHADERPROC, AttachShader)                                                                      \
  X(PFNGLBINDATTRIBLOCATIONPROC, BindAttribLocation)                                                          \
  X(PFNGLBINDFRAGDATALOCATIONPROC, BindFragDataLocation)                                                      \
  X(PFNGLBINDFRAGDATALOCATIONINDEXEDPROC, BindFragDataLocationIndexed)                                        \
  X(PFNGLLINKPROGRAMPROC, LinkProgram)                                                                        \
  X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                                                                      \
  X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)                                                            \
  X(PFNGLDELETEPROGRAMPROC, DeleteProgram)                                                                    \
  X(PFNGLUSEPROGRAMPROC, UseProgram)                                                                          \
  X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)                                                          \
  X(PFNGLUNIFORM1IPROC, Uniform1i)                                                                            \
  X(PFNGLUNIFORM1FPROC, Uniform1f)                                                                            \
  X(PFNGLUNIFORM2FPROC, Uniform2f)                                                                            \
  X(PFNGLUNIFORM4FPROC, Uniform4f)                                                                            \
  X(PFNGLUNIFORM4IPROC, Uniform4i)                                                                            \
  X(PFNGLUNIFORM3FVPROC, Uniform3fv)                                                                          \
  X(PFNGLUNIFORM4FVPROC, Uniform4fv)                                                                          \
  X(PFNGLUNIFORM1FVPROC, Uniform1fv)                                                                          \
  X(PFNGLUNIFORMMATRIX4FVPROC, UniformMatrix4fv)                                                              \
  X(PFNGLGENSAMPLERSPROC, GenSamplers)                                                                        \
  X(PFNGLDELETESAMPLERSPROC, DeleteSamplers)                                                                  \
  X(PFNGLBINDSAMPLERPROC, BindSampler)                                                                        \
  X(PFNGLSAMPLERPARAMETERIPROC, SamplerParameteri)                                                            \
  X(PFNGLSAMPLERPARAMETERFPROC, SamplerParameterf)                                                            \
  X(PFNGLSAMPLERPARAMETERFVPROC, SamplerParameterfv)                                                          \
  X(PFNGLPROVOKINGVERTEXPROC, ProvokingVertex)                                                                \
  X(PFNGLDRAWARRAYSPROC, DrawArrays)                                                                          \
  X(PFNGLDRAWELEMENTSPROC, DrawElements)

struct GLFunctions {
#define VOX_GL_MEMBER(type, name) type name = nullptr;
  VOX_GL_FUNCTIONS(VOX_GL_MEMBER)
#undef VOX_GL_MEMBER
};

extern GLFunctions gl;

// Loads every function; a context must be current. False when one is missing.
bool LoadGLFunctions();

}  // namespace vox_d3d9
