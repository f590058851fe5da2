-- Array indexing: write and read back 1000 elements, many times.
local a = {}
for k = 0, 999 do a[k] = 0 end
local sum, j = 0, 0
while j < 20000 do  -- N
  local i = 0
  while i < 1000 do
    a[i] = i
    sum = sum + a[i]
    i = i + 1
  end
  j = j + 1
end
print(sum)
