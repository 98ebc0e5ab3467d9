// Playback topologies: source-stream nodes connected to output nodes.
#pragma once

#include <mutex>
#include <vector>

#include "platform/media/AttributeStore.h"
#include "platform/media/MediaFoundation.h"

namespace orv {

class TopologyNode final : public ComObject<AttributesImpl<IMFTopologyNode>> {
public:
    explicit TopologyNode(MF_TOPOLOGY_TYPE type) : type_(type) {}

    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFTopologyNode, IMFAttributes>(this, iid, object);
    }
    HRESULT SetObject(IUnknown* object) override;
    HRESULT GetObject(IUnknown** object) override;
    HRESULT GetNodeType(MF_TOPOLOGY_TYPE* type) override;
    HRESULT ConnectOutput(DWORD outputIndex, IMFTopologyNode* downstream, DWORD inputIndex) override;
    HRESULT GetOutput(DWORD outputIndex, IMFTopologyNode** downstream, DWORD* inputIndex) override;

private:
    const MF_TOPOLOGY_TYPE type_;
    std::mutex mutex_;
    ComPtr<IUnknown> object_;
    ComPtr<IMFTopologyNode> output_;  // output 0 only: the engine's branches do not split
    DWORD outputInput_ = 0;
};

class Topology final : public ComObject<AttributesImpl<IMFTopology>> {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        return QueryInterfaceOf<IMFTopology, IMFAttributes>(this, iid, object);
    }
    HRESULT AddNode(IMFTopologyNode* node) override;
    HRESULT GetNodeCount(std::uint16_t* count) override;
    HRESULT GetNode(std::uint16_t index, IMFTopologyNode** node) override;
    HRESULT Clear() override;

private:
    std::mutex mutex_;
    std::vector<ComPtr<IMFTopologyNode>> nodes_;
};

}  // namespace orv
