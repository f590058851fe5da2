-- Thread variables: sum += i for i below N. A thread's store is a table of
-- named values; Lua's nearest is the fields of a local table.
local t = {i = 0, sum = 0}
while t.i < 10000000 do  -- N
  t.sum = t.sum + t.i
  t.i = t.i + 1
end
print(t.sum)
