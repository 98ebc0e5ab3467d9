#include "platform/media/Topology.h"

#include <algorithm>
#include <limits>

namespace orv {

HRESULT TopologyNode::SetObject(IUnknown* object) {
    std::lock_guard lock(mutex_);
    object_ = object;
    return S_OK;
}

HRESULT TopologyNode::GetObject(IUnknown** object) {
    if (!object) return E_POINTER;
    std::lock_guard lock(mutex_);
    *object = nullptr;
    if (!object_) return MF_E_NOT_INITIALIZED;
    return object_.CopyTo(object);
}

HRESULT TopologyNode::GetNodeType(MF_TOPOLOGY_TYPE* type) {
    if (!type) return E_POINTER;
    *type = type_;
    return S_OK;
}

HRESULT TopologyNode::ConnectOutput(DWORD outputIndex, IMFTopologyNode* downstream, DWORD inputIndex) {
    if (!downstream) return E_POINTER;
    if (outputIndex != 0 || type_ == MF_TOPOLOGY_OUTPUT_NODE || downstream == this) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    output_ = downstream;
    outputInput_ = inputIndex;
    return S_OK;
}

HRESULT TopologyNode::GetOutput(DWORD outputIndex, IMFTopologyNode** downstream, DWORD* inputIndex) {
    if (!downstream || !inputIndex) return E_POINTER;
    *downstream = nullptr;
    std::lock_guard lock(mutex_);
    if (outputIndex != 0 || !output_) return MF_E_INVALIDINDEX;
    *inputIndex = outputInput_;
    return output_.CopyTo(downstream);
}

HRESULT Topology::AddNode(IMFTopologyNode* node) {
    if (!node) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (nodes_.size() >= std::numeric_limits<std::uint16_t>::max()) return E_OUTOFMEMORY;
    if (std::any_of(nodes_.begin(), nodes_.end(), [&](const auto& n) { return n.Get() == node; }))
        return E_INVALIDARG;
    nodes_.emplace_back(node);
    return S_OK;
}

HRESULT Topology::GetNodeCount(std::uint16_t* count) {
    if (!count) return E_POINTER;
    std::lock_guard lock(mutex_);
    *count = std::uint16_t(nodes_.size());
    return S_OK;
}

HRESULT Topology::GetNode(std::uint16_t index, IMFTopologyNode** node) {
    if (!node) return E_POINTER;
    *node = nullptr;
    std::lock_guard lock(mutex_);
    if (index >= nodes_.size()) return MF_E_INVALIDINDEX;
    return nodes_[index].CopyTo(node);
}

HRESULT Topology::Clear() {
    std::vector<ComPtr<IMFTopologyNode>> old;
    std::lock_guard lock(mutex_);
    old.swap(nodes_);
    return S_OK;
}

HRESULT MFCreateTopology(IMFTopology** topology) {
    if (!topology) return E_POINTER;
    *topology = new Topology;
    return S_OK;
}

HRESULT MFCreateTopologyNode(MF_TOPOLOGY_TYPE type, IMFTopologyNode** node) {
    if (!node) return E_POINTER;
    *node = nullptr;
    if (type != MF_TOPOLOGY_OUTPUT_NODE && type != MF_TOPOLOGY_SOURCESTREAM_NODE) return E_INVALIDARG;
    *node = new TopologyNode(type);
    return S_OK;
}

}  // namespace orv
