// ComIid declarations of the media interfaces, so that ComPtr::As and
// ComObject work with them inside platform/.
#pragma once

#include "amvideo.h"
#include "com/comptr.h"
#include "control.h"
#include "strmif.h"

COM_DECLARE_IID(IPin);
COM_DECLARE_IID(IEnumPins);
COM_DECLARE_IID(IEnumFilters);
COM_DECLARE_IID(IEnumMediaTypes);
COM_DECLARE_IID(IMediaFilter);
COM_DECLARE_IID(IBaseFilter);
COM_DECLARE_IID(IReferenceClock);
COM_DECLARE_IID(IMediaSample);
COM_DECLARE_IID(IMemAllocator);
COM_DECLARE_IID(IMemInputPin);
COM_DECLARE_IID(IFilterGraph);
COM_DECLARE_IID(IGraphBuilder);
COM_DECLARE_IID(IMediaEventSink);
COM_DECLARE_IID(IFileSinkFilter);
COM_DECLARE_IID(ICaptureGraphBuilder2);
COM_DECLARE_IID(IAMStreamControl);
COM_DECLARE_IID(IAMDroppedFrames);
COM_DECLARE_IID(IAMExtDevice);
COM_DECLARE_IID(IAMExtTransport);
COM_DECLARE_IID(IAMTimecodeReader);
COM_DECLARE_IID(IConfigAviMux);
COM_DECLARE_IID(IConfigInterleaving);
COM_DECLARE_IID(IIPDVDec);
COM_DECLARE_IID(ICreateDevEnum);
COM_DECLARE_IID(IMediaControl);
COM_DECLARE_IID(IMediaEvent);
COM_DECLARE_IID(IMediaEventEx);
COM_DECLARE_IID(IVideoWindow);
COM_DECLARE_IID(IQualProp);
