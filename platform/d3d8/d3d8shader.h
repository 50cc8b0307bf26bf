/* Direct3D 8 shader tokens: the version, instruction and parameter tokens of vs.1.1 and
 * ps.1.x programs, and the tokens of vertex shader declarations, with the platform's
 * names and numeric values. Plain macros and enumerations, readable from C. */
#ifndef TOLVANE_D3D8_D3D8SHADER_H
#define TOLVANE_D3D8_D3D8SHADER_H

#include "platform/win32/windows.h"

/* ---- version tokens ------------------------------------------------------------------ */
#define D3DPS_VERSION(major, minor) (0xFFFF0000u | ((DWORD)(major) << 8) | (DWORD)(minor))
#define D3DVS_VERSION(major, minor) (0xFFFE0000u | ((DWORD)(major) << 8) | (DWORD)(minor))
#define D3DSHADER_VERSION_MAJOR(version) (((DWORD)(version) >> 8) & 0xFFu)
#define D3DSHADER_VERSION_MINOR(version) (((DWORD)(version) >> 0) & 0xFFu)

/* ---- instruction tokens -------------------------------------------------------------- */
typedef enum _D3DSHADER_INSTRUCTION_OPCODE_TYPE {
    D3DSIO_NOP = 0,
    D3DSIO_MOV = 1,
    D3DSIO_ADD = 2,
    D3DSIO_SUB = 3,
    D3DSIO_MAD = 4,
    D3DSIO_MUL = 5,
    D3DSIO_RCP = 6,
    D3DSIO_RSQ = 7,
    D3DSIO_DP3 = 8,
    D3DSIO_DP4 = 9,
    D3DSIO_MIN = 10,
    D3DSIO_MAX = 11,
    D3DSIO_SLT = 12,
    D3DSIO_SGE = 13,
    D3DSIO_EXP = 14,
    D3DSIO_LOG = 15,
    D3DSIO_LIT = 16,
    D3DSIO_DST = 17,
    D3DSIO_LRP = 18,
    D3DSIO_FRC = 19,
    D3DSIO_M4x4 = 20,
    D3DSIO_M4x3 = 21,
    D3DSIO_M3x4 = 22,
    D3DSIO_M3x3 = 23,
    D3DSIO_M3x2 = 24,

    D3DSIO_TEXCOORD = 64,
    D3DSIO_TEXKILL = 65,
    D3DSIO_TEX = 66,
    D3DSIO_TEXBEM = 67,
    D3DSIO_TEXBEML = 68,
    D3DSIO_TEXREG2AR = 69,
    D3DSIO_TEXREG2GB = 70,
    D3DSIO_TEXM3x2PAD = 71,
    D3DSIO_TEXM3x2TEX = 72,
    D3DSIO_TEXM3x3PAD = 73,
    D3DSIO_TEXM3x3TEX = 74,
    D3DSIO_TEXM3x3DIFF = 75, /* reserved: no shader version accepts it */
    D3DSIO_TEXM3x3SPEC = 76,
    D3DSIO_TEXM3x3VSPEC = 77,
    D3DSIO_EXPP = 78,
    D3DSIO_LOGP = 79,
    D3DSIO_CND = 80,
    D3DSIO_DEF = 81,
    D3DSIO_TEXREG2RGB = 82,
    D3DSIO_TEXDP3TEX = 83,
    D3DSIO_TEXM3x2DEPTH = 84,
    D3DSIO_TEXDP3 = 85,
    D3DSIO_TEXM3x3 = 86,
    D3DSIO_TEXDEPTH = 87,
    D3DSIO_CMP = 88,
    D3DSIO_BEM = 89,

    D3DSIO_PHASE = 0xFFFD,
    D3DSIO_COMMENT = 0xFFFE,
    D3DSIO_END = 0xFFFF,

    D3DSIO_FORCE_DWORD = 0x7FFFFFFF
} D3DSHADER_INSTRUCTION_OPCODE_TYPE;

#define D3DSI_OPCODE_MASK 0x0000FFFFu
/* ps.1.x: the instruction runs together with the one before it (one colour, one alpha). */
#define D3DSI_COISSUE 0x40000000u

/* Comment tokens: D3DSIO_COMMENT with the number of DWORDs that follow in bits 16-30. */
#define D3DSI_COMMENTSIZE_SHIFT 16
#define D3DSI_COMMENTSIZE_MASK 0x7FFF0000u
#define D3DSHADER_COMMENT(dwords) \
    ((((DWORD)(dwords) << D3DSI_COMMENTSIZE_SHIFT) & D3DSI_COMMENTSIZE_MASK) | D3DSIO_COMMENT)

#define D3DPS_END() 0x0000FFFFu
#define D3DVS_END() 0x0000FFFFu

/* ---- parameter tokens (bit 31 is always set) ----------------------------------------- */
#define D3DSP_REGNUM_MASK 0x00001FFFu

/* Destination: write mask, result modifier, result shift (ps), register type. */
#define D3DSP_WRITEMASK_0 0x00010000u /* x, red */
#define D3DSP_WRITEMASK_1 0x00020000u /* y, green */
#define D3DSP_WRITEMASK_2 0x00040000u /* z, blue */
#define D3DSP_WRITEMASK_3 0x00080000u /* w, alpha */
#define D3DSP_WRITEMASK_ALL 0x000F0000u

#define D3DSP_DSTMOD_SHIFT 20
#define D3DSP_DSTMOD_MASK 0x00F00000u

typedef enum _D3DSHADER_PARAM_DSTMOD_TYPE {
    D3DSPDM_NONE = 0 << D3DSP_DSTMOD_SHIFT,
    D3DSPDM_SATURATE = 1 << D3DSP_DSTMOD_SHIFT,
    D3DSPDM_FORCE_DWORD = 0x7FFFFFFF
} D3DSHADER_PARAM_DSTMOD_TYPE;

/* A signed four-bit power of two: 1, 2, 3 multiply by 2, 4, 8; 15, 14, 13 divide by them. */
#define D3DSP_DSTSHIFT_SHIFT 24
#define D3DSP_DSTSHIFT_MASK 0x0F000000u

#define D3DSP_REGTYPE_SHIFT 28
#define D3DSP_REGTYPE_MASK 0x70000000u

typedef enum _D3DSHADER_PARAM_REGISTER_TYPE {
    D3DSPR_TEMP = 0,
    D3DSPR_INPUT = 1,
    D3DSPR_CONST = 2,
    D3DSPR_ADDR = 3,    /* vertex shaders: a0 */
    D3DSPR_TEXTURE = 3, /* pixel shaders: t0-t7 */
    D3DSPR_RASTOUT = 4,
    D3DSPR_ATTROUT = 5,
    D3DSPR_TEXCRDOUT = 6,
    D3DSPR_FORCE_DWORD = 0x7FFFFFFF
} D3DSHADER_PARAM_REGISTER_TYPE;

/* Register numbers of D3DSPR_RASTOUT. */
typedef enum _D3DVS_RASTOUT_OFFSETS {
    D3DSRO_POSITION = 0,
    D3DSRO_FOG = 1,
    D3DSRO_POINT_SIZE = 2,
    D3DSRO_FORCE_DWORD = 0x7FFFFFFF
} D3DVS_RASTOUT_OFFSETS;

/* Source: relative addressing (vertex shaders), swizzle, modifier, register type. */
#define D3DVS_ADDRESSMODE_SHIFT 13
#define D3DVS_ADDRESSMODE_MASK (1u << D3DVS_ADDRESSMODE_SHIFT)

typedef enum _D3DVS_ADDRESSMODE_TYPE {
    D3DVS_ADDRMODE_ABSOLUTE = 0 << D3DVS_ADDRESSMODE_SHIFT,
    D3DVS_ADDRMODE_RELATIVE = 1 << D3DVS_ADDRESSMODE_SHIFT, /* the register number plus a0.x */
    D3DVS_ADDRMODE_FORCE_DWORD = 0x7FFFFFFF
} D3DVS_ADDRESSMODE_TYPE;

/* Two bits per destination component name the source component it reads. */
#define D3DVS_SWIZZLE_SHIFT 16
#define D3DVS_SWIZZLE_MASK 0x00FF0000u

#define D3DVS_X_X (0u << (D3DVS_SWIZZLE_SHIFT + 0))
#define D3DVS_X_Y (1u << (D3DVS_SWIZZLE_SHIFT + 0))
#define D3DVS_X_Z (2u << (D3DVS_SWIZZLE_SHIFT + 0))
#define D3DVS_X_W (3u << (D3DVS_SWIZZLE_SHIFT + 0))
#define D3DVS_Y_X (0u << (D3DVS_SWIZZLE_SHIFT + 2))
#define D3DVS_Y_Y (1u << (D3DVS_SWIZZLE_SHIFT + 2))
#define D3DVS_Y_Z (2u << (D3DVS_SWIZZLE_SHIFT + 2))
#define D3DVS_Y_W (3u << (D3DVS_SWIZZLE_SHIFT + 2))
#define D3DVS_Z_X (0u << (D3DVS_SWIZZLE_SHIFT + 4))
#define D3DVS_Z_Y (1u << (D3DVS_SWIZZLE_SHIFT + 4))
#define D3DVS_Z_Z (2u << (D3DVS_SWIZZLE_SHIFT + 4))
#define D3DVS_Z_W (3u << (D3DVS_SWIZZLE_SHIFT + 4))
#define D3DVS_W_X (0u << (D3DVS_SWIZZLE_SHIFT + 6))
#define D3DVS_W_Y (1u << (D3DVS_SWIZZLE_SHIFT + 6))
#define D3DVS_W_Z (2u << (D3DVS_SWIZZLE_SHIFT + 6))
#define D3DVS_W_W (3u << (D3DVS_SWIZZLE_SHIFT + 6))
#define D3DVS_NOSWIZZLE (D3DVS_X_X | D3DVS_Y_Y | D3DVS_Z_Z | D3DVS_W_W)

#define D3DSP_SWIZZLE_SHIFT 16
#define D3DSP_SWIZZLE_MASK 0x00FF0000u
#define D3DSP_NOSWIZZLE \
    ((0u << (D3DSP_SWIZZLE_SHIFT + 0)) | (1u << (D3DSP_SWIZZLE_SHIFT + 2)) | \
     (2u << (D3DSP_SWIZZLE_SHIFT + 4)) | (3u << (D3DSP_SWIZZLE_SHIFT + 6)))
#define D3DSP_REPLICATERED 0x00000000u
#define D3DSP_REPLICATEGREEN 0x00550000u
#define D3DSP_REPLICATEBLUE 0x00AA0000u
#define D3DSP_REPLICATEALPHA 0x00FF0000u

#define D3DSP_SRCMOD_SHIFT 24
#define D3DSP_SRCMOD_MASK 0x0F000000u

typedef enum _D3DSHADER_PARAM_SRCMOD_TYPE {
    D3DSPSM_NONE = 0 << D3DSP_SRCMOD_SHIFT,
    D3DSPSM_NEG = 1 << D3DSP_SRCMOD_SHIFT,     /* -r */
    D3DSPSM_BIAS = 2 << D3DSP_SRCMOD_SHIFT,    /* r_bias: r - 0.5 */
    D3DSPSM_BIASNEG = 3 << D3DSP_SRCMOD_SHIFT, /* -r_bias */
    D3DSPSM_SIGN = 4 << D3DSP_SRCMOD_SHIFT,    /* r_bx2: 2 (r - 0.5) */
    D3DSPSM_SIGNNEG = 5 << D3DSP_SRCMOD_SHIFT, /* -r_bx2 */
    D3DSPSM_COMP = 6 << D3DSP_SRCMOD_SHIFT,    /* 1 - r */
    D3DSPSM_X2 = 7 << D3DSP_SRCMOD_SHIFT,      /* r_x2 (ps.1.4) */
    D3DSPSM_X2NEG = 8 << D3DSP_SRCMOD_SHIFT,   /* -r_x2 (ps.1.4) */
    D3DSPSM_DZ = 9 << D3DSP_SRCMOD_SHIFT,      /* r_dz: divide by z (ps.1.4 texld, texcrd) */
    D3DSPSM_DW = 10 << D3DSP_SRCMOD_SHIFT,     /* r_dw: divide by w (ps.1.4 texld, texcrd) */
    D3DSPSM_FORCE_DWORD = 0x7FFFFFFF
} D3DSHADER_PARAM_SRCMOD_TYPE;

/* ---- vertex shader declarations ------------------------------------------------------ */
typedef enum _D3DVSD_TOKENTYPE {
    D3DVSD_TOKEN_NOP = 0,         /* NOP or extension */
    D3DVSD_TOKEN_STREAM = 1,      /* stream selector */
    D3DVSD_TOKEN_STREAMDATA = 2,  /* stream data definition (register or skip) */
    D3DVSD_TOKEN_TESSELLATOR = 3, /* vertex input generated by the tessellator */
    D3DVSD_TOKEN_CONSTMEM = 4,    /* constant memory load */
    D3DVSD_TOKEN_EXT = 5,         /* extension */
    D3DVSD_TOKEN_END = 7,         /* end of the declaration */
    D3DVSD_FORCE_DWORD = 0x7FFFFFFF
} D3DVSD_TOKENTYPE;

#define D3DVSD_TOKENTYPESHIFT 29
#define D3DVSD_TOKENTYPEMASK (7u << D3DVSD_TOKENTYPESHIFT)

#define D3DVSD_STREAMNUMBERSHIFT 0
#define D3DVSD_STREAMNUMBERMASK (0xFu << D3DVSD_STREAMNUMBERSHIFT)

#define D3DVSD_DATALOADTYPESHIFT 28
#define D3DVSD_DATALOADTYPEMASK (0x1u << D3DVSD_DATALOADTYPESHIFT)

#define D3DVSD_DATATYPESHIFT 16
#define D3DVSD_DATATYPEMASK (0xFu << D3DVSD_DATATYPESHIFT)

#define D3DVSD_SKIPCOUNTSHIFT 16
#define D3DVSD_SKIPCOUNTMASK (0xFu << D3DVSD_SKIPCOUNTSHIFT)

#define D3DVSD_VERTEXREGSHIFT 0
#define D3DVSD_VERTEXREGMASK (0x1Fu << D3DVSD_VERTEXREGSHIFT)

#define D3DVSD_VERTEXREGINSHIFT 20
#define D3DVSD_VERTEXREGINMASK (0xFu << D3DVSD_VERTEXREGINSHIFT)

#define D3DVSD_CONSTCOUNTSHIFT 25
#define D3DVSD_CONSTCOUNTMASK (0xFu << D3DVSD_CONSTCOUNTSHIFT)

#define D3DVSD_CONSTADDRESSSHIFT 0
#define D3DVSD_CONSTADDRESSMASK (0x7Fu << D3DVSD_CONSTADDRESSSHIFT)

#define D3DVSD_CONSTRSSHIFT 16
#define D3DVSD_CONSTRSMASK (0x1FFFu << D3DVSD_CONSTRSSHIFT)

#define D3DVSD_EXTCOUNTSHIFT 24
#define D3DVSD_EXTCOUNTMASK (0x1Fu << D3DVSD_EXTCOUNTSHIFT)

#define D3DVSD_EXTINFOSHIFT 0
#define D3DVSD_EXTINFOMASK (0xFFFFFFu << D3DVSD_EXTINFOSHIFT)

#define D3DVSD_STREAMTESSSHIFT 28
#define D3DVSD_STREAMTESSMASK (1u << D3DVSD_STREAMTESSSHIFT)

#define D3DVSD_MAKETOKENTYPE(type) (((DWORD)(type) << D3DVSD_TOKENTYPESHIFT) & D3DVSD_TOKENTYPEMASK)

/* Selects the stream the following register and skip tokens read. */
#define D3DVSD_STREAM(stream) (D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_STREAM) | (DWORD)(stream))
#define D3DVSD_STREAM_TESS() (D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_STREAM) | D3DVSD_STREAMTESSMASK)
/* Loads input register reg (a D3DVSDE_* number) with the next element, of type D3DVSDT_*. */
#define D3DVSD_REG(reg, type) \
    (D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_STREAMDATA) | ((DWORD)(type) << D3DVSD_DATATYPESHIFT) | (DWORD)(reg))
/* Skips count DWORDs of the stream's vertex. */
#define D3DVSD_SKIP(count) \
    (D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_STREAMDATA) | 0x10000000u | ((DWORD)(count) << D3DVSD_SKIPCOUNTSHIFT))
/* Loads count constant registers from address on; count x 4 floats follow the token. */
#define D3DVSD_CONST(address, count) \
    (D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_CONSTMEM) | ((DWORD)(count) << D3DVSD_CONSTCOUNTSHIFT) | (DWORD)(address))
/* Tessellator outputs (N-patches): a normal generated from a position register, and uv. */
#define D3DVSD_TESSNORMAL(regin, regout)                                                                 \
    (D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_TESSELLATOR) | ((DWORD)(regin) << D3DVSD_VERTEXREGINSHIFT) | \
     (0x02u << D3DVSD_DATATYPESHIFT) | (DWORD)(regout))
#define D3DVSD_TESSUV(reg) \
    (D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_TESSELLATOR) | 0x10000000u | (0x01u << D3DVSD_DATATYPESHIFT) | (DWORD)(reg))
#define D3DVSD_END() 0xFFFFFFFFu
#define D3DVSD_NOP() 0x00000000u

/* Element types of D3DVSD_REG. */
#define D3DVSDT_FLOAT1 0x00u   /* 1 float, read as (f, 0, 0, 1) */
#define D3DVSDT_FLOAT2 0x01u   /* (f, f, 0, 1) */
#define D3DVSDT_FLOAT3 0x02u   /* (f, f, f, 1) */
#define D3DVSDT_FLOAT4 0x03u   /* (f, f, f, f) */
#define D3DVSDT_D3DCOLOR 0x04u /* a packed ARGB colour, read as (r, g, b, a) in 0..1 */
#define D3DVSDT_UBYTE4 0x05u   /* four unsigned bytes, read as integers */
#define D3DVSDT_SHORT2 0x06u   /* (s, s, 0, 1) */
#define D3DVSDT_SHORT4 0x07u   /* (s, s, s, s) */

/* Input registers the fixed-function pipeline reads when a declaration has no function. */
#define D3DVSDE_POSITION 0
#define D3DVSDE_BLENDWEIGHT 1
#define D3DVSDE_BLENDINDICES 2
#define D3DVSDE_NORMAL 3
#define D3DVSDE_PSIZE 4
#define D3DVSDE_DIFFUSE 5
#define D3DVSDE_SPECULAR 6
#define D3DVSDE_TEXCOORD0 7
#define D3DVSDE_TEXCOORD1 8
#define D3DVSDE_TEXCOORD2 9
#define D3DVSDE_TEXCOORD3 10
#define D3DVSDE_TEXCOORD4 11
#define D3DVSDE_TEXCOORD5 12
#define D3DVSDE_TEXCOORD6 13
#define D3DVSDE_TEXCOORD7 14
#define D3DVSDE_POSITION2 15
#define D3DVSDE_NORMAL2 16

#endif
