function check_flow(flow, name)
% CHECK_FLOW  The FLOW argument check of the toolbox's flow helpers: raises
%   motionseg:NAME:class unless FLOW is a real, full (not sparse) numeric or logical array, and
%   motionseg:NAME:size unless it is H-by-W-by-2.
  if ~(isnumeric(flow) || islogical(flow)) || ~isreal(flow) || issparse(flow)
    error(['motionseg:' name ':class'], 'FLOW must be a real numeric H-by-W-by-2 array.');
  end
  if ndims(flow) > 3 || size(flow, 3) ~= 2
    error(['motionseg:' name ':size'], 'FLOW must be H-by-W-by-2; it is %s.', ...
          strjoin(arrayfun(@num2str, size(flow), 'UniformOutput', false), '-by-'));
  end
end
