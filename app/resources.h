/* The program's resources by number. velmora.rc embeds each under its number; the
   renderer and the shell load them by these names. Read by the resource compilers as well
   as by C++, so the numbers are macros. */
#ifndef VELMORA_APP_RESOURCES_H
#define VELMORA_APP_RESOURCES_H

#define RESOURCE_ICON_PROGRAM 1
#define RESOURCE_WALL_TEXTURE 101
#define RESOURCE_SPOT_TEXTURE 102
#define RESOURCE_PIXEL_SHADER 103
#define RESOURCE_VERTEX_SHADER 104

#ifndef RC_INVOKED
enum ResourceId : int {
  IconProgram = RESOURCE_ICON_PROGRAM,
  ResourceWallTexture = RESOURCE_WALL_TEXTURE,
  ResourceSpotTexture = RESOURCE_SPOT_TEXTURE,
  ResourcePixelShader = RESOURCE_PIXEL_SHADER,
  ResourceVertexShader = RESOURCE_VERTEX_SHADER,
};
#endif

#endif
