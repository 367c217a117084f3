#include "lamp_inputs.fxh"
float4 mainVS(VsIn input) : POSITION { return float4(input.pos, 1); }
float4 mainPS() : COLOR { return float4(1, 1, 1, 1); }
technique T { pass P {
  VertexShader = compile vs_3_0 mainVS();
  PixelShader = compile ps_3_0 mainPS();
} }
