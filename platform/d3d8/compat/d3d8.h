// <d3d8.h> for programs written for the platform: the Direct3D 8 interfaces of this
// system's software device (installed under include/tolvane/compat).
#pragma once

#include "platform/win32/windows.h"
#include "platform/d3d8/d3d8.h"

// The pointer names programs use for the interfaces.
typedef struct IDirect3D8* LPDIRECT3D8, *PDIRECT3D8;
typedef struct IDirect3DDevice8* LPDIRECT3DDEVICE8, *PDIRECT3DDEVICE8;
typedef struct IDirect3DResource8* LPDIRECT3DRESOURCE8, *PDIRECT3DRESOURCE8;
typedef struct IDirect3DBaseTexture8* LPDIRECT3DBASETEXTURE8, *PDIRECT3DBASETEXTURE8;
typedef struct IDirect3DTexture8* LPDIRECT3DTEXTURE8, *PDIRECT3DTEXTURE8;
typedef struct IDirect3DCubeTexture8* LPDIRECT3DCUBETEXTURE8, *PDIRECT3DCUBETEXTURE8;
typedef struct IDirect3DVolumeTexture8* LPDIRECT3DVOLUMETEXTURE8, *PDIRECT3DVOLUMETEXTURE8;
typedef struct IDirect3DSurface8* LPDIRECT3DSURFACE8, *PDIRECT3DSURFACE8;
typedef struct IDirect3DVolume8* LPDIRECT3DVOLUME8, *PDIRECT3DVOLUME8;
typedef struct IDirect3DVertexBuffer8* LPDIRECT3DVERTEXBUFFER8, *PDIRECT3DVERTEXBUFFER8;
typedef struct IDirect3DIndexBuffer8* LPDIRECT3DINDEXBUFFER8, *PDIRECT3DINDEXBUFFER8;
